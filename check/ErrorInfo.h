#pragma once
#include <QString>

// The Info stored for an item whose transfer failed: "エラー:" and the transfer's error
// text, with each line break made a blank so the item file keeps one value per line.
QString ErrorInfo(const QString& responseInfo);
