#pragma once
// One stored result as an HL7 v2.5.1 ORU^R01 message (ER7 text, segments ended by CR,
// UTF-8): MSH, PID, OBR, OBX and SPM. A pure function of its inputs.
//
//   MSH|^~\&|<sending app>|<sending facility>|<receiving app>|<receiving facility>|
//       <created>||ORU^R01^ORU_R01|<control id>|P|2.5.1||||||UNICODE UTF-8
//   PID|1||||<patient>
//   OBR|1||<analysis number>|<LOINC code>^<name>^LN|||<arrival>
//   OBX|1|NM|<LOINC code>^<name>^LN||<value>|mmol/L^^UCUM|||||F|||<arrival>||^<technician>
//   SPM|1|||<specimen code>^<specimen name>^HL70487

#include "app/lis/StoredResult.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace vorsilan::lis {

// The applications and facilities of both ends (MSH-3 to MSH-6), as configured.
struct MessageParties {
    QString sendingApplication;
    QString sendingFacility;
    QString receivingApplication;
    QString receivingFacility;
};

// The observation's code and the specimen of a sample kind.
struct KindCodes {
    const char* loinc;
    const char* loincName;
    const char* specimen; // HL7 table 0487
    const char* specimenName;
};
KindCodes CodesOf(SampleKind kind);

// An HL7 date and time with its offset from UTC: YYYYMMDDHHMMSS+ZZZZ.
QString Hl7DateTime(const QDateTime& time);

// The exact decimal text of valueCount / divisor with "." as its separator.
QString DecimalText(std::uint32_t valueCount, std::uint32_t divisor);

QByteArray BuildOruR01(const StoredResult& result, const MessageParties& parties,
                       const QString& controlId, const QDateTime& created);

} // namespace vorsilan::lis
