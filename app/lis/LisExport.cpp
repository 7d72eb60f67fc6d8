#include "app/lis/LisExport.h"

#include "app/lis/DatabaseConnection.h"

namespace vorsilan::lis {

LisExport::LisExport(DatabaseOpener opener, SendTiming timing, QObject* parent)
    : QObject(parent), opener_(std::move(opener)), timing_(timing) {}

// The sender and the outbox go before the connection they use.
LisExport::~LisExport() {
    sender_.reset();
    outbox_.reset();
    database_.reset();
}

bool LisExport::Configure(const LisSettings& settings, QString& error) {
    settings_ = settings;
    if (!settings.Configured()) {
        sender_.reset();
        emit WaitingChanged(0);
        return true;
    }
    if (!outbox_) {
        if (!database_) {
            database_ = opener_();
        }
        if (!database_->IsOpen()) {
            error = database_->Error();
            database_.reset();
            return false;
        }
        outbox_ = Outbox::Open(database_->Name(), error);
        if (!outbox_) {
            return false;
        }
    }
    if (!sender_) {
        sender_ = std::make_unique<MllpSender>(*outbox_, timing_);
        connect(sender_.get(), &MllpSender::WaitingChanged, this, &LisExport::WaitingChanged);
        connect(sender_.get(), &MllpSender::Delivered, this, &LisExport::Delivered);
        connect(sender_.get(), &MllpSender::Refused, this, &LisExport::Refused);
        connect(sender_.get(), &MllpSender::AttemptFailed, this, &LisExport::AttemptFailed);
        connect(sender_.get(), &MllpSender::OutboxFailed, this, &LisExport::OutboxFailed);
    }
    sender_->SetEndpoint(settings.host, settings.port);
    emit WaitingChanged(outbox_->WaitingCount());
    return true;
}

LisExport::Queued LisExport::Queue(const StoredResult& result, QString& error) {
    if (!sender_) {
        return Queued::Off;
    }
    const QDateTime now = QDateTime::currentDateTime();
    const bool queued = outbox_->Enqueue(
        result.analysisNumber, now,
        [&](const QString& controlId) {
            return BuildOruR01(result, settings_.parties, controlId, now);
        },
        error);
    if (!queued) {
        return Queued::Failed;
    }
    sender_->Kick();
    return Queued::Yes;
}

int LisExport::WaitingCount() const {
    return outbox_ && sender_ ? outbox_->WaitingCount() : 0;
}

} // namespace vorsilan::lis
