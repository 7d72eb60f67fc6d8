#include "app/lis/OruMessage.h"

#include "app/lis/Hl7Text.h"

#include <QStringList>

namespace vorsilan::lis {

KindCodes CodesOf(SampleKind kind) {
    switch (kind) {
    case SampleKind::Blood:
        return {"15074-8", "Glucose [Moles/volume] in Blood", "BLD", "Whole blood"};
    case SampleKind::Urine:
        return {"15076-3", "Glucose [Moles/volume] in Urine", "UR", "Urine"};
    case SampleKind::Serum:
        break;
    }
    return {"14749-6", "Glucose [Moles/volume] in Serum or Plasma", "SER", "Serum"};
}

QString Hl7DateTime(const QDateTime& time) {
    const int offset = time.offsetFromUtc() / 60;
    const int magnitude = offset < 0 ? -offset : offset;
    return time.toString(QStringLiteral("yyyyMMddHHmmss")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1%2")
               .arg(magnitude / 60, 2, 10, QChar(u'0'))
               .arg(magnitude % 60, 2, 10, QChar(u'0'));
}

QString DecimalText(std::uint32_t valueCount, std::uint32_t divisor) {
    int places = 0;
    for (std::uint32_t d = divisor; d > 1; d /= 10) {
        ++places;
    }
    const std::uint32_t scale = divisor == 0 ? 1 : divisor;
    QString text = QString::number(valueCount / scale);
    if (places > 0) {
        text += u'.';
        text += QStringLiteral("%1").arg(valueCount % scale, places, 10, QChar(u'0'));
    }
    return text;
}

namespace {

// A segment from its fields, the segment's name first; each field is already escaped.
QString Segment(const QStringList& fields) {
    return fields.join(u'|') + u'\r';
}

QString CodedKind(const KindCodes& codes) {
    return QString::fromLatin1(codes.loinc) + u'^' + QString::fromLatin1(codes.loincName) +
           QStringLiteral("^LN");
}

} // namespace

QByteArray BuildOruR01(const StoredResult& result, const MessageParties& parties,
                       const QString& controlId, const QDateTime& created) {
    const KindCodes codes = CodesOf(result.kind);
    const QString arrival = Hl7DateTime(result.arrival);
    QString message;
    message +=
        Segment({QStringLiteral("MSH"), QStringLiteral("^~\\&"),
                 EscapeHl7(parties.sendingApplication), EscapeHl7(parties.sendingFacility),
                 EscapeHl7(parties.receivingApplication), EscapeHl7(parties.receivingFacility),
                 Hl7DateTime(created), QString(), QStringLiteral("ORU^R01^ORU_R01"),
                 EscapeHl7(controlId), QStringLiteral("P"), QStringLiteral("2.5.1"), QString(),
                 QString(), QString(), QString(), QString(), QStringLiteral("UNICODE UTF-8")});
    message += Segment({QStringLiteral("PID"), QStringLiteral("1"), QString(), QString(), QString(),
                        EscapeHl7(result.patient)});
    message += Segment({QStringLiteral("OBR"), QStringLiteral("1"), QString(),
                        EscapeHl7(result.analysisNumber), CodedKind(codes), QString(), QString(),
                        arrival});
    message += Segment({QStringLiteral("OBX"), QStringLiteral("1"), QStringLiteral("NM"),
                        CodedKind(codes), QString(), DecimalText(result.valueCount, result.divisor),
                        QStringLiteral("mmol/L^^UCUM"), QString(), QString(), QString(), QString(),
                        QStringLiteral("F"), QString(), QString(), arrival, QString(),
                        u'^' + EscapeHl7(result.technician)});
    message += Segment({QStringLiteral("SPM"), QStringLiteral("1"), QString(), QString(),
                        QString::fromLatin1(codes.specimen) + u'^' +
                            QString::fromLatin1(codes.specimenName) + QStringLiteral("^HL70487")});
    return message.toUtf8();
}

} // namespace vorsilan::lis
