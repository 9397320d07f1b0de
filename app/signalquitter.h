#pragma once
// Turns SIGTERM and SIGINT into an orderly quit on the GUI thread, so a killed client still saves
// its layout and closes its database as on a normal exit.

#include <QObject>

class QSocketNotifier;

class CSignalQuitter : public QObject
{
    Q_OBJECT
public:
    explicit CSignalQuitter(QObject* parent = nullptr);
    ~CSignalQuitter() override;

    // Catches SIGTERM and SIGINT from now on; false (and nothing caught) when that cannot be set up.
    bool install();

signals:
    // On the GUI thread, once per signal received.
    void signalled(int signalNumber);

private:
    void readSignal();

    QSocketNotifier* m_notifier = nullptr;
};
