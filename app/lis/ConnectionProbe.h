#pragma once
// The link dialog's check: opens a TCP connection to the LIS, closes it at once and tells
// what happened, without blocking the window.

#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>

namespace vorsilan::lis {

class ConnectionProbe : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Connected, Refused, TimedOut, Failed };

    explicit ConnectionProbe(QObject* parent = nullptr);

    // Starts a check; one still running is abandoned.
    void Start(const QString& host, quint16 port,
               std::chrono::milliseconds bound = std::chrono::seconds(5));

    static QString TextOf(Outcome outcome, const QString& detail);

signals:
    // `text` says it in Russian for the dialog.
    void Finished(vorsilan::lis::ConnectionProbe::Outcome outcome, const QString& text);

private:
    void Finish(Outcome outcome, const QString& detail);

    QTcpSocket socket_;
    QTimer timer_;
    std::chrono::milliseconds bound_{0};
    bool running_ = false;
};

} // namespace vorsilan::lis
