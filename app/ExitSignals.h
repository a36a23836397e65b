#pragma once
// SIGTERM and SIGINT (the session ending, Ctrl-C in a terminal) end the
// desktop program the way its Exit command does, so that its settings are
// saved and its log file closed. The signal handler only writes the signal
// number to a socket; the event loop reads it and calls the handler given
// here. Each signal is caught once: a second one, should the orderly end hang,
// ends the program at once as it would without this object.

#include <QObject>
#include <functional>

class QSocketNotifier;

class CExitSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; one object at a time.
    explicit CExitSignals(std::function<void(int signal)> onSignal, QObject* parent = nullptr);
    // Puts the previous handlers back.
    ~CExitSignals() override;
    CExitSignals(const CExitSignals&) = delete;
    CExitSignals& operator=(const CExitSignals&) = delete;

    bool IsInstalled() const { return m_installed; }

private:
    void OnReadable();

    std::function<void(int)> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
    bool m_installed = false;
};
