// Breaks a status line that is wider than the status list into rows that fit, at word
// boundaries where it can and anywhere where a word alone is too wide. Each row keeps the blank
// it was broken at, so the rows put together are the line again.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

QStringList WrapStatusLine(const QString& text, const QFont& font, int widthPx);
