#include <QtTest>

#include <functional>
#include <sys/wait.h>
#include <unistd.h>

#include "vlc_player.h"

// Programming-contract violations stop the process with a fixed message. Each
// case runs in a forked child, whose standard error is read back.

namespace {

typedef std::function<void()> violation_t;

class silent_listener : public vlc::media_player_events_callback, public vlc::audio_events_callback
{
public:
    void media_player_event(const libvlc_event_t*) override {}
    void audio_event(vlc::audio_event_e) override {}
};

struct outcome
{
    bool aborted = false;
    QByteArray stderr_text;
};

outcome run_in_child(const violation_t& violation)
{
    outcome result;
    int fds[2];
    if (pipe(fds) != 0)
        return result;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDERR_FILENO);
        close(fds[0]);
        violation();
        _exit(0);
    }
    close(fds[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        result.stderr_text.append(buffer, int(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.aborted = WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT;
    return result;
}

} // namespace

Q_DECLARE_METATYPE(violation_t)

class tst_VlcContracts : public QObject
{
    Q_OBJECT

private slots:
    void violationsStopTheProcess_data();
    void violationsStopTheProcess();
};

void tst_VlcContracts::violationsStopTheProcess_data()
{
    QTest::addColumn<violation_t>("violation");
    QTest::addColumn<QByteArray>("message");

    QTest::addRow("closing a core that still has a listener") << violation_t([] {
        vlc::player p;
        silent_listener l;
        p.register_callback(&l);
        p.close();
    }) << QByteArray("Assertion `!has_callbacks()' failed.");

    QTest::addRow("destroying a core that still has a listener") << violation_t([] {
        silent_listener l;
        vlc::player p;
        p.register_callback(&l);
    }) << QByteArray("Assertion `!has_callbacks()' failed.");

    QTest::addRow("registering the same listener twice") << violation_t([] {
        vlc::player p;
        silent_listener l;
        p.register_callback(&l);
        p.register_callback(&l);
    }) << QByteArray("Assertion `_callbacks.end() == std::find( _callbacks.begin(), _callbacks.end(), callback )' failed.");

    QTest::addRow("destroying a core whose audio object has a listener") << violation_t([] {
        silent_listener l;
        vlc::player p;
        p.audio().register_callback(&l);
    }) << QByteArray("Assertion `_callbacks.empty()' failed.");
}

void tst_VlcContracts::violationsStopTheProcess()
{
    QFETCH(violation_t, violation);
    QFETCH(QByteArray, message);

    const outcome o = run_in_child(violation);
    QVERIFY2(o.aborted, o.stderr_text.constData());
    QVERIFY2(o.stderr_text.contains(message), o.stderr_text.constData());
}

QTEST_GUILESS_MAIN(tst_VlcContracts)
#include "tst_vlccontracts.moc"
