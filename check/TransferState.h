#pragma once
// The states a request reaches, as the transfer control reports them, and how much of a
// response body is kept: the first block, the one the size measure counts.
struct TransferState {
    enum State {
        icNone = 0,
        icResolvingHost = 1,
        icHostResolved = 2,
        icConnecting = 3,
        icConnected = 4,
        icRequesting = 5,
        icRequestSent = 6,
        icReceivingResponse = 7,
        icResponseReceived = 8,
        icDisconnecting = 9,
        icDisconnected = 10,
        icError = 11,
        icResponseCompleted = 12,
    };
    static constexpr int MaxBodyBytes = 65535;
};
