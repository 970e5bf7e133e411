#pragma once
// The X clipboard read past Qt, for the forms Qt's X11 clipboard hands on only in part.
#include <QByteArray>

#include <optional>

// The bytes of target (e.g. "text/x-moz-url") that the owner of the X CLIPBOARD selection
// gives, asked for over a connection of its own to the display of $DISPLAY. Nothing when
// there is no X display, no owner, the owner does not offer target (its TARGETS), gives more
// than maxBytes (in one piece or in INCR pieces), or does not give it all within timeoutMs;
// never waits longer than that.
std::optional<QByteArray> X11ClipboardData(const char* target, int timeoutMs = 500,
                                           qsizetype maxBytes = 16 * 1024 * 1024);
