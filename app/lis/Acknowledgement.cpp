#include "app/lis/Acknowledgement.h"

#include "app/lis/Hl7Text.h"

#include <QStringList>

namespace vorsilan::lis {

namespace {

QString FieldOf(const QStringList& fields, int index) {
    return index < fields.size() ? fields[index] : QString();
}

QString ComponentOf(const QString& field, QChar separator, int index) {
    const QStringList components = field.split(separator);
    return index < components.size() ? components[index] : QString();
}

} // namespace

std::optional<Acknowledgement> ParseAcknowledgement(const QByteArray& message) {
    const QString text = QString::fromUtf8(message);
    // Segments end with CR; a peer that sends LF or CR LF is read the same way.
    const QStringList segments =
        QString(text).replace(u'\n', u'\r').split(u'\r', Qt::SkipEmptyParts);
    if (segments.isEmpty() || !segments.front().startsWith(QStringLiteral("MSH")) ||
        segments.front().size() < 8) {
        return std::nullopt;
    }
    const QChar fieldSeparator = segments.front()[3];
    const QChar componentSeparator = segments.front()[4];
    std::optional<Acknowledgement> ack;
    QString errText;
    for (const QString& segment : segments) {
        const QStringList fields = segment.split(fieldSeparator);
        if (fields.front() == QStringLiteral("MSA") && !ack) {
            ack = Acknowledgement{FieldOf(fields, 1).trimmed(), UnescapeHl7(FieldOf(fields, 2)),
                                  UnescapeHl7(FieldOf(fields, 3))};
        } else if (fields.front() == QStringLiteral("ERR") && errText.isEmpty()) {
            for (const QString& candidate :
                 {FieldOf(fields, 8), ComponentOf(FieldOf(fields, 3), componentSeparator, 1),
                  FieldOf(fields, 1)}) {
                if (!candidate.isEmpty()) {
                    errText = UnescapeHl7(candidate);
                    break;
                }
            }
        }
    }
    if (ack && ack->text.isEmpty()) {
        ack->text = errText;
    }
    return ack;
}

} // namespace vorsilan::lis
