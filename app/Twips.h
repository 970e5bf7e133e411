#pragma once
// Window geometry is kept in twips (1/1440 inch): 15 twips a pixel at 96 dpi, scaled with the
// screen's logical resolution.
#include <QRect>
#include <QSize>
#include <QWidget>
#include <QtMath>

inline int TwipsToPixels(int twips, const QWidget* widget)
{
    return qRound(twips * widget->logicalDpiX() / 1440.0);
}

inline QRect TwipsRect(int left, int top, int width, int height, const QWidget* widget)
{
    return {TwipsToPixels(left, widget), TwipsToPixels(top, widget), TwipsToPixels(width, widget),
            TwipsToPixels(height, widget)};
}

inline QSize TwipsSize(int width, int height, const QWidget* widget)
{
    return {TwipsToPixels(width, widget), TwipsToPixels(height, widget)};
}

// A fixed dialog frame, caption and close box only, of this size in the 9-point font.
inline void SetFixedDialogFrame(QWidget* dialog, int widthTwips, int heightTwips)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint);
    QFont dialogFont = dialog->font();
    dialogFont.setPointSize(9);
    dialog->setFont(dialogFont);
    dialog->setFixedSize(TwipsSize(widthTwips, heightTwips, dialog));
}
