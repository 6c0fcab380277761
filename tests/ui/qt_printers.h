// GoogleTest printers for Qt values, so that a failed comparison shows the texts.
#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* out) {
  *out << '{';
  for (qsizetype i = 0; i < list.size(); ++i)
    *out << (i ? ", \"" : "\"") << list[i].toStdString() << '"';
  *out << '}';
}
inline void PrintTo(const QColor& colour, std::ostream* out) {
  *out << "QColor(" << colour.red() << ", " << colour.green() << ", " << colour.blue() << ")";
}
QT_END_NAMESPACE
