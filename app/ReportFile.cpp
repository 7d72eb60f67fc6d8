#include "app/ReportFile.h"

#include <QFile>
#include <QStringEncoder>

#include <cerrno>

namespace vorsilan::app {

namespace {

const char* const LineEnd = "\r\n";

// The error code of a failed file operation: access problems and a full disk by name, any
// other failure by the system's error number.
int FailureCode(const QFile& file, int systemError) {
    if (systemError == ENOSPC) {
        return apd::IoDiskFull;
    }
    if (systemError == EACCES || systemError == EPERM || systemError == EROFS ||
        systemError == EISDIR || file.error() == QFileDevice::PermissionsError) {
        return apd::IoAccessDenied;
    }
    return systemError != 0 ? systemError : static_cast<int>(file.error());
}

} // namespace

QStringList ReportLines(const JournalRow& row) {
    QString result;
    if (!row.serum.isEmpty()) {
        result += QStringLiteral("Сыворотка = ") + row.serum + QStringLiteral(" ммоль");
    }
    if (!row.blood.isEmpty()) {
        result += QStringLiteral("Кровь = ") + row.blood + QStringLiteral(" ммоль");
    }
    if (!row.urine.isEmpty()) {
        result += QStringLiteral("Моча = ") + row.urine + QStringLiteral(" ммоль");
    }
    return {row.number,
            QStringLiteral("Пациент: ") + row.patient,
            QStringLiteral("Лаборант: ") + row.technician,
            QStringLiteral("Время: ") + row.time,
            result + QLatin1Char(' '),
            QStringLiteral(" ")};
}

QByteArray EncodeWindows1251(const QString& text, bool* replaced) {
    QStringEncoder whole("windows-1251");
    QByteArray bytes = whole.encode(text);
    if (!whole.hasError()) {
        return bytes;
    }
    // Character by character, so that each one the code page lacks becomes exactly one '?'.
    bytes.clear();
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        QStringEncoder one("windows-1251");
        const QByteArray encoded = one.encode(text.mid(i, length));
        if (one.hasError() || encoded.isEmpty()) {
            bytes.append('?');
            if (replaced != nullptr) {
                *replaced = true;
            }
        } else {
            bytes.append(encoded);
        }
        i += length;
    }
    return bytes;
}

bool WriteReportFile(const QString& path, const std::vector<JournalRow>& rows) {
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        throw apd::EInOutError(FailureCode(file, errno));
    }
    bool replaced = false;
    for (const JournalRow& row : rows) {
        for (const QString& line : ReportLines(row)) {
            const QByteArray bytes = EncodeWindows1251(line, &replaced) + LineEnd;
            errno = 0;
            if (file.write(bytes) != bytes.size()) {
                throw apd::EInOutError(FailureCode(file, errno));
            }
        }
    }
    errno = 0;
    if (!file.flush()) {
        throw apd::EInOutError(FailureCode(file, errno));
    }
    file.close();
    return replaced;
}

} // namespace vorsilan::app
