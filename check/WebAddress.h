#pragma once
#include <QString>
#include <QUrl>

// The address an item's URL stands for, as a browser's address bar takes it: a text that
// names no scheme ("www.example.com/news") is an http address.
QUrl WebAddress(const QString& text);
