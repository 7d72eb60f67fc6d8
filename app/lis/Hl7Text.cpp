#include "app/lis/Hl7Text.h"

#include <QByteArray>

namespace vorsilan::lis {

namespace {

struct Escape {
    QChar delimiter;
    QChar code;
};
// The standard delimiters of this system's messages (MSH-1 and MSH-2 are "|^~\&").
constexpr Escape Escapes[] = {
    {u'|', u'F'}, {u'^', u'S'}, {u'~', u'R'}, {u'&', u'T'}, {u'\\', u'E'}};

} // namespace

QString EscapeHl7(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        bool escaped = false;
        for (const Escape& e : Escapes) {
            if (c == e.delimiter) {
                out += u'\\';
                out += e.code;
                out += u'\\';
                escaped = true;
                break;
            }
        }
        if (escaped) {
            continue;
        }
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            out += QStringLiteral("\\X%1\\").arg(c.unicode(), 2, 16, QChar(u'0')).toUpper();
        } else {
            out += c;
        }
    }
    return out;
}

QString UnescapeHl7(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const qsizetype end = c == u'\\' ? text.indexOf(u'\\', i + 1) : -1;
        if (end < 0) {
            out += c;
            continue;
        }
        const QStringView body = QStringView(text).mid(i + 1, end - i - 1);
        bool known = false;
        if (body.size() == 1) {
            for (const Escape& e : Escapes) {
                if (body[0] == e.code) {
                    out += e.delimiter;
                    known = true;
                }
            }
        } else if (body.size() >= 3 && body[0] == u'X' && body.size() % 2 == 1) {
            // Hexadecimal bytes of the message's character set, UTF-8.
            bool ok = true;
            QByteArray bytes;
            for (qsizetype k = 1; k < body.size() && ok; k += 2) {
                bytes += static_cast<char>(body.mid(k, 2).toUShort(&ok, 16));
            }
            if (ok) {
                out += QString::fromUtf8(bytes);
                known = true;
            }
        }
        if (known) {
            i = end;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace vorsilan::lis
