#pragma once
// The export of stored results to the LIS as the window uses it: the outbox in the
// workstation's database, the sender, and the settings that switch it on. Off (nothing is
// queued, no database is opened) until a host and a port are configured.

#include "app/lis/LisSettings.h"
#include "app/lis/MllpSender.h"
#include "app/lis/Outbox.h"
#include "app/lis/StoredResult.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace vorsilan::lis {

class DatabaseConnection;

class LisExport : public QObject {
    Q_OBJECT
public:
    // Opens the database connection the outbox lives in, when the export is switched on.
    using DatabaseOpener = std::function<std::unique_ptr<DatabaseConnection>()>;

    LisExport(DatabaseOpener opener, SendTiming timing, QObject* parent = nullptr);
    ~LisExport() override;

    // Switches the export on (a host and a port) or off, with these settings from now on.
    // False, with the reason, when the outbox cannot be opened: the export stays off.
    bool Configure(const LisSettings& settings, QString& error);
    bool IsOn() const { return sender_ != nullptr; }

    enum class Queued { Off, Yes, Failed };
    // Queues one stored result for the LIS; Failed leaves the reason in `error`.
    Queued Queue(const StoredResult& result, QString& error);

    int WaitingCount() const;

signals:
    void WaitingChanged(int count);
    void Delivered(const QString& controlId);
    void Refused(const QString& analysisNumber, const QString& code, const QString& reason);
    void AttemptFailed(const QString& reason, qint64 pauseMs);
    void OutboxFailed(const QString& controlId);

private:
    DatabaseOpener opener_;
    SendTiming timing_;
    LisSettings settings_;
    std::unique_ptr<DatabaseConnection> database_;
    std::optional<Outbox> outbox_;
    std::unique_ptr<MllpSender> sender_;
};

} // namespace vorsilan::lis
