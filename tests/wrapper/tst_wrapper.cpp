// The media engine wrapper on real libvlc: vlc::player's playlist rules, the video memory
// binding, and what libvlc does not show: reference balance, option flags, attached handlers.

#include "media_fixture.h"
#include "vlc_media_list_player.h"
#include "vlc_player.h"
#include "vlc_vmem.h"

#include <QtTest>

#include <atomic>
#include <dlfcn.h>
#include <map>
#include <mutex>

Q_DECLARE_METATYPE(vlc::playback_mode_e)

// The functions below take the place of libvlc's own for the wrapper linked into this
// test; each records the call and forwards it to the real libvlc function.
namespace {

struct journal {
    std::mutex guard;
    std::map<void*, int> references; // media and media players
    QStringList options; // "option flags"
    std::map<void*, int> handlers; // attached less detached, by the handler's user data
    std::map<void*, int> attaches; // by the handler's user data
} calls;

template <typename F> void record(F&& f)
{
    std::lock_guard<std::mutex> lock(calls.guard);
    f(calls);
}

#define REAL(function) reinterpret_cast<decltype(&function)>(dlsym(RTLD_NEXT, #function))

} // namespace

libvlc_media_player_t* libvlc_media_player_new(libvlc_instance_t* instance)
{
    libvlc_media_player_t* mp = REAL(libvlc_media_player_new)(instance);
    record([mp](journal& j) { j.references[mp] += 1; });
    return mp;
}
libvlc_media_t* libvlc_media_new_location(libvlc_instance_t* instance, const char* mrl)
{
    libvlc_media_t* m = REAL(libvlc_media_new_location)(instance, mrl);
    record([m](journal& j) { j.references[m] += 1; });
    return m;
}
void libvlc_media_add_option_flag(libvlc_media_t* m, const char* option, unsigned flags)
{
    record([&](journal& j) { j.options << QStringLiteral("%1 %2").arg(option).arg(flags, 0, 16); });
    REAL(libvlc_media_add_option_flag)(m, option, flags);
}
// A retain or release that counts for the object it names (libvlc passes null ones too).
#define COUNTED(function, type, delta)                                                                                 \
    void function(type* object)                                                                                        \
    {                                                                                                                  \
        record([object](journal& j) { j.references[object] += object ? delta : 0; });                                  \
        REAL(function)(object);                                                                                        \
    }
COUNTED(libvlc_media_retain, libvlc_media_t, 1)
COUNTED(libvlc_media_release, libvlc_media_t, -1)
COUNTED(libvlc_media_player_retain, libvlc_media_player_t, 1)
COUNTED(libvlc_media_player_release, libvlc_media_player_t, -1)

int libvlc_event_attach(libvlc_event_manager_t* em, libvlc_event_type_t type, libvlc_callback_t cb, void* user_data)
{
    record([&](journal& j) {
        j.handlers[user_data] += 1;
        j.attaches[user_data] += 1;
    });
    return REAL(libvlc_event_attach)(em, type, cb, user_data);
}
void libvlc_event_detach(libvlc_event_manager_t* em, libvlc_event_type_t type, libvlc_callback_t cb, void* user_data)
{
    record([&](journal& j) { j.handlers[user_data] -= 1; });
    REAL(libvlc_event_detach)(em, type, cb, user_data);
}

namespace {

// Every reference taken given back, every handler of `core` detached.
bool balanced(const void* core)
{
    std::lock_guard<std::mutex> lock(calls.guard);
    for (const auto& entry : calls.references)
        if (entry.second != 0)
            return false;
    return calls.handlers[const_cast<void*>(core)] == 0;
}

int attached(const vlc::player_core* core)
{
    std::lock_guard<std::mutex> lock(calls.guard);
    return calls.handlers[const_cast<vlc::player_core*>(core)];
}

const QStringList mjpeg { "-pix_fmt", "yuvj420p", "-c:v", "mjpeg" };

// Keeps the centre pixel of the last picture libvlc's video output hands over.
class picture_sink : public vlc::vmem {
public:
    ~picture_sink() { close(); }
    using vlc::vmem::video_format_cb; // the format libvlc is given, asked for directly
    std::atomic<int> formats { 0 }, frames { 0 }, cleanups { 0 };
    std::atomic<unsigned> centre { 0 }; // 0xRRGGBB

protected:
    void on_format_setup() override { ++formats; }
    void on_frame_ready(const std::vector<char>& frame) override
    {
        // RV32 is B, G, R, unused in memory.
        const std::size_t at = (std::size_t(height() / 2) * width() + width() / 2) * 4;
        if (frame.size() >= at + 4)
            centre = unsigned(uchar(frame[at + 2])) << 16 | unsigned(uchar(frame[at + 1])) << 8 | uchar(frame[at]);
        ++frames;
    }
    void on_frame_cleanup() override { ++cleanups; }
};

struct silent : vlc::media_player_events_callback {
    void media_player_event(const libvlc_event_t*) override { }
};

} // namespace

// Playlists hold items A, B, C, each a long clip.
class tst_Wrapper : public QObject {
    Q_OBJECT

    libvlc_instance_t* m_instance = nullptr;
    QByteArray m_clip;
    vlc::player m_player;
    std::vector<vlc::media> m_media;

    void fill(int items)
    {
        QVERIFY(m_player.open(m_instance));
        m_media.clear();
        for (int i = 0; i < items; ++i) {
            m_media.push_back(vlc::media::create_media(m_instance, m_clip.constData(), 0, nullptr, 0, nullptr));
            m_player.set_item_data(unsigned(m_player.add_media(m_media.back())), std::string(1, char('A' + i)));
        }
    }
    QString order()
    {
        QString names;
        for (unsigned i = 0; i < m_player.item_count(); ++i)
            names += QString::fromStdString(m_player.get_item_data(i));
        return names;
    }
    // The item whose media the libvlc player holds, "" for none.
    QString held()
    {
        const vlc::media current = m_player.basic_player().current_media();
        for (std::size_t i = 0; i < m_media.size(); ++i) {
            if (m_media[i] == current)
                return QString(QChar('A' + int(i)));
        }
        return QString();
    }
    // Whether libvlc's player is (or soon is) playing as `expected`.
    bool playing(bool expected)
    {
        QTest::qWait(50);
        if (expected)
            (void)QTest::qWaitFor([this] { return m_player.basic_player().get_state() == libvlc_Playing; }, 10000);
        const libvlc_state_t state = m_player.basic_player().get_state();
        return expected == (state == libvlc_Opening || state == libvlc_Buffering || state == libvlc_Playing);
    }

private slots:
    void initTestCase()
    {
        m_instance = new_quiet_instance();
        QVERIFY(m_instance);
        m_clip = QUrl(lavfi_clip("gray.avi", "color=c=gray:s=160x120:r=10", mjpeg, "60")).toEncoded();
        QVERIFY(!m_clip.isEmpty());
    }
    void cleanup()
    {
        m_player.close();
        m_media.clear();
    }
    void cleanupTestCase() { libvlc_release(m_instance); }

    // A step ("next", "prev"), a move ("advance IDX COUNT") or a deletion ("delete IDX") in a playlist
    // with the given items disabled, whose flags must travel with them.
    void edits_data()
    {
        QTest::addColumn<vlc::playback_mode_e>("mode");
        QTest::addColumn<QString>("disabled");
        QTest::addColumn<int>("current");
        QTest::addColumn<bool>("play");
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("after"); // order, current index, item held, playing
        const auto row = [](const char* tag, vlc::playback_mode_e mode, const char* disabled, int current, bool play,
                             const char* edit, const char* after) {
            QTest::addRow("%s", tag) << mode << QString(disabled) << current << play << QString(edit) << QString(after);
        };
        const auto normal = vlc::mode_normal, loop = vlc::mode_loop;
        row("next after the last, normal mode", normal, "", 2, false, "next", "ABC 2 C no");
        row("next after the last, single mode", vlc::mode_single, "", 2, false, "next", "ABC 2 C no");
        row("the loop wrap skips disabled items at the start", loop, "A", 2, false, "next", "ABC 1 B yes");
        row("next without a current item", normal, "A", -1, false, "next", "ABC 1 B yes");
        row("next with every item disabled", loop, "ABC", 0, false, "next", "ABC 0 A no");
        row("prev at the first, normal mode", normal, "", 0, false, "prev", "ABC 0 A no");
        row("prev at the first wraps to the last enabled in loop mode", loop, "C", 0, false, "prev", "ABC 1 B yes");
        row("prev wraps round to the current item", loop, "AB", 2, false, "prev", "ABC 2 C yes");
        row("next from the only enabled item plays it again", loop, "AC", 1, false, "next", "ABC 1 B yes");
        row("forward past the current item", normal, "A", 1, false, "advance 0 2", "BCA 0 B no");
        row("backward past the current item", normal, "A", 0, false, "advance 2 -2", "CAB 1 A no");
        row("forward onto the current item's place", normal, "A", 2, false, "advance 0 2", "BCA 1 C no");
        row("the current item itself moves", normal, "A", 0, false, "advance 0 1", "BAC 1 A no");
        row("outside the moved range", normal, "A", 0, false, "advance 1 1", "ACB 0 A no");
        row("a move beyond the end does nothing", normal, "A", 1, false, "advance 1 5", "ABC 1 B no");
        row("a move before the start does nothing", normal, "A", 1, false, "advance 1 -2", "ABC 1 B no");
        row("a move without a current item keeps none", normal, "A", -1, false, "advance 0 2", "BCA -1  no");
        row("deleting before the current item shifts it down", normal, "", 2, false, "delete 0", "BC 1 C no");
        row("deleting after the current item", normal, "", 0, false, "delete 2", "AB 0 A no");
        row("deleting the current, playing: the next plays", normal, "", 1, true, "delete 1", "AC 1 C yes");
        row("deleting the current, not playing: nothing starts", normal, "", 1, false, "delete 1", "AC 1 B no");
        row("deleting the last, playing: it plays on", normal, "", 2, true, "delete 2", "AB 1 C yes");
        row("deleting beyond the end", normal, "", 1, false, "delete 3", "ABC 1 B no");
        row("deleting without a current item keeps none", normal, "", -1, false, "delete 2", "AB -1  no");
    }
    void edits()
    {
        QFETCH(vlc::playback_mode_e, mode);
        QFETCH(QString, disabled);
        QFETCH(int, current);
        QFETCH(bool, play);
        QFETCH(QString, edit);
        QFETCH(QString, after);
        const QStringList words = edit.split(' ');
        const bool move = words[0] == "advance";
        const unsigned idx = words.value(1).toUInt();
        fill(3);
        m_player.set_playback_mode(mode);
        for (const QChar c : disabled)
            m_player.disable_item(unsigned(c.unicode() - 'A'), true);
        if (current >= 0)
            m_player.set_current(unsigned(current));
        if (play) {
            m_player.play();
            QVERIFY(playing(true));
        }
        if (edit == "next")
            m_player.next();
        else if (edit == "prev")
            m_player.prev();
        else if (move)
            m_player.advance_item(idx, words[2].toInt());
        else
            QCOMPARE(m_player.delete_item(idx), idx < 3);
        QVERIFY(move || playing(after.endsWith("yes"))); // a move, never playing, spares the wait
        QCOMPARE(
            QStringLiteral("%1 %2 %3 %4").arg(order()).arg(m_player.current_item()).arg(held(), after.section(' ', 3)),
            after);
        for (const QChar c : disabled)
            QVERIFY(m_player.is_item_disabled(unsigned(order().indexOf(c))));
    }

    void formatFitsTheDesiredSize_data()
    {
        QTest::addColumn<QSize>("desired");
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("expected");
        QTest::addRow("narrower: full height") << QSize(640, 360) << QSize(1440, 1080) << QSize(480, 360);
        QTest::addRow("rounds to the nearest pixel") << QSize(640, 360) << QSize(1000, 998) << QSize(361, 360);
        QTest::addRow("upscales") << QSize(640, 360) << QSize(160, 90) << QSize(640, 360);
        QTest::addRow("one desired side 0 keeps the decoder size")
            << QSize(640, 0) << QSize(1280, 720) << QSize(1280, 720);
    }
    void formatFitsTheDesiredSize()
    {
        QFETCH(QSize, desired);
        QFETCH(QSize, source);
        QFETCH(QSize, expected);
        picture_sink sink;
        sink.set_desired_size(unsigned(desired.width()), unsigned(desired.height()));
        char chroma[5] = "I420";
        unsigned width = unsigned(source.width()), height = unsigned(source.height()), pitches[3] = {}, lines[3] = {};
        QCOMPARE(sink.video_format_cb(chroma, &width, &height, pitches, lines), 1u);
        QCOMPARE(QSize(int(width), int(height)), expected);
        QCOMPARE(QByteArray(chroma, 4), QByteArray("RV32"));
        QCOMPARE(pitches[0], width * 4);
        QCOMPARE(lines[0], height);
    }

    void picturesOfRealMedia()
    {
        vlc::player p;
        picture_sink sink;
        QVERIFY(p.open(m_instance));
        sink.set_desired_size(160, 160);
        QVERIFY(sink.open(&p.basic_player()));
        const QByteArray clip = QUrl(lavfi_clip("red.avi", "color=c=red:s=320x192:r=10", mjpeg, "30")).toEncoded();
        QCOMPARE(p.add_media(clip.constData(), 0, nullptr, 0, nullptr), 0);
        p.play();
        QTRY_VERIFY_WITH_TIMEOUT(sink.frames.load() >= 5, 10000);
        QCOMPARE(QSize(int(sink.width()), int(sink.height())), QSize(160, 96));
        const unsigned c = sink.centre;
        QVERIFY2(c >> 16 > 215 && (c >> 8 & 0xff) < 40 && (c & 0xff) < 40, qPrintable(QString::number(c, 16)));
        // Closing the binding stops the player: every format is given back.
        sink.close();
        QCOMPARE(p.basic_player().get_state(), libvlc_Stopped);
        QCOMPARE(sink.cleanups.load(), sink.formats.load());
    }

    void mediaReferences()
    {
        const char* untrusted[] = { ":a=1", ":b=2" };
        const char* trusted[] = { ":c=3" };
        {
            vlc::media a = vlc::media::create_media(m_instance, "file:///tmp/x.mp4", 2, untrusted, 1, trusted);
            QCOMPARE(calls.options, (QStringList { ":a=1 100", ":b=2 100", ":c=3 102" }));
            QCOMPARE(calls.references[a.libvlc_media()], 1); // the creation's reference, adopted
            vlc::media copy(a), assigned,
                other = vlc::media::create_media(m_instance, "file:///tmp/y.mp4", 0, nullptr, 0, nullptr);
            assigned = a;
            assigned = assigned;
            QCOMPARE(calls.references[a.libvlc_media()], 3);
            assigned = other;
            copy = vlc::media();
            QCOMPARE(calls.references[a.libvlc_media()], 1);
            vlc::media retained(a.libvlc_media(), true);
            a.release_media();
            a.release_media();
        }
        QVERIFY(balanced(nullptr));
    }

    // Listeners registered before the list exists, a reopen and a video memory binding.
    // 17 player events, the list's 4 and the list player's own 3.
    void handlersAndBinding()
    {
        silent listener;
        picture_sink sink;
        const void* core = nullptr;
        {
            vlc::media_list_player p;
            core = static_cast<vlc::player_core*>(&p);
            p.register_callback(&listener);
            QVERIFY(p.open(m_instance));
            QCOMPARE(attached(&p), 17 + 4 + 3);
            const int attaches = calls.attaches[const_cast<void*>(core)];
            QVERIFY(p.open(m_instance)); // a fresh player and list, their events attached in turn
            QCOMPARE(calls.attaches[const_cast<void*>(core)] - attaches, 17 + 4 + 3);
            QCOMPARE(attached(&p), 17 + 4 + 3);
            QVERIFY(sink.open(&p.basic_player()));
            QVERIFY(sink.open(&p.basic_player()));
            sink.close();
            p.unregister_callback(&listener);
            QCOMPARE(attached(&p), 0);
        }
        QVERIFY(balanced(core));
    }
};

QTEST_GUILESS_MAIN(tst_Wrapper)
#include "tst_wrapper.moc"
