#include <QtTest>

#include <dlfcn.h>
#include <map>
#include <mutex>

#include "vlc_media.h"
#include "vlc_media_list_player.h"
#include "vlc_player.h"
#include "vlc_vmem.h"

// Facts that real libvlc does not let a test observe: the exact option flags,
// that a failed creation applies no option, how many event types are
// attached, and the reference balance of each media. The functions below take
// the place of libvlc's own for the wrapper linked into this test; each one
// records the call and then forwards it to the real libvlc function.

namespace {

struct option_call
{
    libvlc_media_t* media;
    QByteArray option;
    unsigned flags;
};

struct event_call
{
    bool attach;
    libvlc_event_manager_t* manager;
    libvlc_event_type_t type;
    void* user_data;
};

struct vmem_call
{
    QByteArray function;
    libvlc_media_player_t* player;
    libvlc_video_lock_cb lock = nullptr;
    libvlc_video_unlock_cb unlock = nullptr;
    libvlc_video_display_cb display = nullptr;
    void* opaque = nullptr;
    libvlc_video_format_cb format = nullptr;
    libvlc_video_cleanup_cb cleanup = nullptr;
};

struct records
{
    bool fail_creation = false;
    int creations = 0;
    QList<option_call> options;
    QList<event_call> events;
    std::map<libvlc_media_t*, int> references;
    QList<vmem_call> vmem;
};

struct journal : records
{
    std::mutex guard;

    void reset()
    {
        std::lock_guard<std::mutex> lock(guard);
        static_cast<records&>(*this) = records();
    }
};

journal& calls()
{
    static journal j;
    return j;
}

template <typename F>
F* real(const char* name)
{
    return reinterpret_cast<F*>(dlsym(RTLD_NEXT, name));
}

// The real libvlc function of the same name.
#define REAL(function) real<decltype(function)>(#function)

template <typename F>
void record(F&& f)
{
    std::lock_guard<std::mutex> lock(calls().guard);
    f(calls());
}

libvlc_media_t* created(libvlc_media_t* m)
{
    record([m](journal& j) {
        ++j.creations;
        if (m)
            j.references[m] += 1;
    });
    return m;
}

void record_vmem(const char* function, libvlc_media_player_t* mp)
{
    record([=](journal& j) { j.vmem << vmem_call { function, mp }; });
}

} // namespace

libvlc_media_t* libvlc_media_new_location(libvlc_instance_t* instance, const char* mrl)
{
    return created(calls().fail_creation ? nullptr : REAL(libvlc_media_new_location)(instance, mrl));
}

libvlc_media_t* libvlc_media_new_path(libvlc_instance_t* instance, const char* path)
{
    return created(calls().fail_creation ? nullptr : REAL(libvlc_media_new_path)(instance, path));
}

void libvlc_media_add_option_flag(libvlc_media_t* m, const char* option, unsigned flags)
{
    record([&](journal& j) { j.options << option_call { m, QByteArray(option), flags }; });
    REAL(libvlc_media_add_option_flag)(m, option, flags);
}

void libvlc_media_retain(libvlc_media_t* m)
{
    record([m](journal& j) { j.references[m] += 1; });
    REAL(libvlc_media_retain)(m);
}

void libvlc_media_release(libvlc_media_t* m)
{
    record([m](journal& j) { j.references[m] -= 1; });
    REAL(libvlc_media_release)(m);
}

int libvlc_event_attach(libvlc_event_manager_t* em, libvlc_event_type_t type, libvlc_callback_t cb, void* user_data)
{
    record([&](journal& j) { j.events << event_call { true, em, type, user_data }; });
    return REAL(libvlc_event_attach)(em, type, cb, user_data);
}

void libvlc_event_detach(libvlc_event_manager_t* em, libvlc_event_type_t type, libvlc_callback_t cb, void* user_data)
{
    record([&](journal& j) { j.events << event_call { false, em, type, user_data }; });
    REAL(libvlc_event_detach)(em, type, cb, user_data);
}

void libvlc_video_set_callbacks(libvlc_media_player_t* mp, libvlc_video_lock_cb lock, libvlc_video_unlock_cb unlock,
                                libvlc_video_display_cb display, void* opaque)
{
    record([&](journal& j) { j.vmem << vmem_call { "set_callbacks", mp, lock, unlock, display, opaque }; });
    REAL(libvlc_video_set_callbacks)(mp, lock, unlock, display, opaque);
}

void libvlc_video_set_format_callbacks(libvlc_media_player_t* mp, libvlc_video_format_cb format,
                                       libvlc_video_cleanup_cb cleanup)
{
    record([&](journal& j) {
        j.vmem << vmem_call { "set_format_callbacks", mp, nullptr, nullptr, nullptr, nullptr, format, cleanup };
    });
    REAL(libvlc_video_set_format_callbacks)(mp, format, cleanup);
}

void libvlc_media_player_stop(libvlc_media_player_t* mp)
{
    record_vmem("stop", mp);
    REAL(libvlc_media_player_stop)(mp);
}

void libvlc_media_player_retain(libvlc_media_player_t* mp)
{
    record_vmem("retain", mp);
    REAL(libvlc_media_player_retain)(mp);
}

void libvlc_media_player_release(libvlc_media_player_t* mp)
{
    record_vmem("release", mp);
    REAL(libvlc_media_player_release)(mp);
}

namespace {

class null_sink : public vlc::vmem
{
public:
    ~null_sink() { close(); }

protected:
    void on_frame_ready(const std::vector<char>&) override {}
    void on_frame_cleanup() override {}
};

QStringList vmem_functions(libvlc_media_player_t* mp)
{
    std::lock_guard<std::mutex> lock(calls().guard);
    QStringList names;
    for (const vmem_call& c : calls().vmem) {
        if (c.player == mp)
            names << QString::fromLatin1(c.function);
    }
    return names;
}

class silent_listener : public vlc::media_player_events_callback
{
public:
    void media_player_event(const libvlc_event_t*) override {}
};

const QList<int> player_types = { 0x100, 0x101, 0x102, 0x103, 0x104, 0x105, 0x106, 0x107, 0x108,
                                  0x109, 0x10A, 0x10B, 0x10C, 0x10D, 0x10E, 0x10F, 0x111 };
// The list's four events, then the list player's own three.
const QList<int> list_types = { 0x200, 0x201, 0x202, 0x203, 0x400, 0x401, 0x402 };

// The types attached (or detached) for one core since the last reset.
QList<int> types(bool attach, const vlc::player_core* core, libvlc_event_manager_t* manager = nullptr)
{
    std::lock_guard<std::mutex> lock(calls().guard);
    QList<int> result;
    for (const event_call& c : calls().events) {
        if (c.attach == attach && c.user_data == core && (!manager || c.manager == manager))
            result << int(c.type);
    }
    return result;
}

int references(const vlc::media& m)
{
    std::lock_guard<std::mutex> lock(calls().guard);
    return calls().references[m.libvlc_media()];
}

} // namespace

typedef QList<QByteArray> options_t;

class tst_VlcDouble : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void optionFlags_data();
    void optionFlags();
    void failedCreationAppliesNoOption_data();
    void failedCreationAppliesNoOption();
    void referenceBalance();
    void playerEventTypes();
    void eventsAttachedAtOpen();
    void swapReattaches();
    void mediaListEventTypes();
    void vmemBindingAndInertCallbacks();

private:
    libvlc_instance_t* m_instance = nullptr;
};

void tst_VlcDouble::initTestCase()
{
    const char* const args[] = { "-q", "--aout=adummy", "--vout=dummy" };
    m_instance = libvlc_new(3, args);
    QVERIFY(m_instance);
}

void tst_VlcDouble::cleanupTestCase()
{
    if (m_instance)
        libvlc_release(m_instance);
}

void tst_VlcDouble::init()
{
    calls().reset();
}

void tst_VlcDouble::optionFlags_data()
{
    QTest::addColumn<options_t>("untrusted");
    QTest::addColumn<options_t>("trusted");
    QTest::addColumn<QStringList>("expected"); // "option flags", in call order

    QTest::addRow("untrusted first, then trusted, each in list order")
        << options_t { ":a=1", ":b=2" } << options_t { ":c=3", ":d=4" }
        << QStringList { ":a=1 100", ":b=2 100", ":c=3 102", ":d=4 102" };
    QTest::addRow("only untrusted") << options_t { ":a=1" } << options_t {} << QStringList { ":a=1 100" };
    QTest::addRow("only trusted") << options_t {} << options_t { ":c=3" } << QStringList { ":c=3 102" };
    QTest::addRow("none, with null lists") << options_t {} << options_t {} << QStringList {};
}

void tst_VlcDouble::optionFlags()
{
    QFETCH(options_t, untrusted);
    QFETCH(options_t, trusted);
    QFETCH(QStringList, expected);

    std::vector<const char*> u, t;
    for (const QByteArray& o : untrusted)
        u.push_back(o.constData());
    for (const QByteArray& o : trusted)
        t.push_back(o.constData());

    const vlc::media m = vlc::media::create_media(m_instance, "file:///tmp/x.mp4",
                                                  unsigned(u.size()), u.empty() ? nullptr : u.data(),
                                                  unsigned(t.size()), t.empty() ? nullptr : t.data());
    QVERIFY(!m.empty());
    QStringList seen;
    for (const option_call& c : calls().options) {
        QCOMPARE(c.media, m.libvlc_media());
        seen << QString("%1 %2").arg(QString::fromLatin1(c.option)).arg(c.flags, 0, 16);
    }
    QCOMPARE(seen, expected);
    // The handle adopted the creation's reference: no retain of its own.
    QCOMPARE(references(m), 1);
}

void tst_VlcDouble::failedCreationAppliesNoOption_data()
{
    QTest::addColumn<bool>("isPath");
    QTest::addRow("from a location") << false;
    QTest::addRow("from a path") << true;
}

void tst_VlcDouble::failedCreationAppliesNoOption()
{
    QFETCH(bool, isPath);
    calls().fail_creation = true;
    const char* options[] = { ":a=1", ":b=2" };
    const vlc::media m = vlc::media::create_media(m_instance, isPath ? "/tmp/x.mp4" : "file:///tmp/x.mp4",
                                                  2, options, 2, options, isPath);
    calls().fail_creation = false;
    QVERIFY(m.empty());
    QCOMPARE(calls().creations, 1);
    QCOMPARE(calls().options.size(), 0);
}

void tst_VlcDouble::referenceBalance()
{
    vlc::media a = vlc::media::create_media(m_instance, "file:///tmp/x.mp4", 0, nullptr, 0, nullptr);
    QCOMPARE(references(a), 1);
    {
        vlc::media copy(a);
        QCOMPARE(references(a), 2);
        vlc::media assigned;
        assigned = a;
        QCOMPARE(references(a), 3);
        assigned = assigned;
        QCOMPARE(references(a), 3);
        assigned = vlc::media();
        QCOMPARE(references(a), 2);
        vlc::media empty;
        vlc::media empty_copy(empty);
        empty = empty_copy;
    }
    QCOMPARE(references(a), 1);

    // Adopting the reference that libvlc just returned: no leak once destroyed.
    libvlc_media_t* raw = libvlc_media_new_location(m_instance, "file:///tmp/y.mp4");
    {
        vlc::media adopted(raw, false);
        QCOMPARE(references(adopted), 1);
        // Retaining one that the caller keeps.
        vlc::media retained(raw, true);
        QCOMPARE(references(retained), 2);
    }
    QCOMPARE(calls().references[raw], 0);

    vlc::media b = vlc::media::create_media(m_instance, "file:///tmp/z.mp4", 0, nullptr, 0, nullptr);
    a = b;
    {
        std::lock_guard<std::mutex> lock(calls().guard);
        QCOMPARE(calls().references.size(), std::size_t(3));
    }
    QCOMPARE(references(a), 2);
    a.release_media();
    b.release_media();
    a.release_media();
    for (const auto& entry : calls().references)
        QCOMPARE(entry.second, 0);
}

void tst_VlcDouble::playerEventTypes()
{
    vlc::player p;
    QVERIFY(p.open(m_instance));
    silent_listener first, second, never;

    // Nothing is attached while nobody listens, even for a stray removal.
    p.unregister_callback(&never);
    QCOMPARE(calls().events.size(), 0);

    p.register_callback(&first);
    const auto unregister = qScopeGuard([&] {
        p.unregister_callback(&first);
        p.unregister_callback(&second);
    });
    QCOMPARE(types(true, &p), player_types);
    p.register_callback(&second);
    QCOMPARE(types(true, &p).size(), 17);
    p.unregister_callback(&first);
    QCOMPARE(types(false, &p).size(), 0);
    p.unregister_callback(&second);
    QCOMPARE(types(false, &p), player_types);
    QCOMPARE(calls().events.size(), 34);
    p.close();
    QCOMPARE(calls().events.size(), 34);
}

void tst_VlcDouble::eventsAttachedAtOpen()
{
    vlc::player p;
    silent_listener l;
    p.register_callback(&l);
    const auto unregister = qScopeGuard([&] { p.unregister_callback(&l); });
    QCOMPARE(calls().events.size(), 0);
    QVERIFY(p.open(m_instance));
    QCOMPARE(types(true, &p), player_types);
    libvlc_event_manager_t* first_manager = calls().events.first().manager;

    // Reopening moves the subscription to the new player. The old one is
    // kept alive here, as a video memory binding would.
    libvlc_media_player_t* old_player = p.basic_player().get_mp();
    libvlc_media_player_retain(old_player);
    calls().reset();
    QVERIFY(p.open(m_instance));
    QCOMPARE(types(false, &p, first_manager), player_types);
    QCOMPARE(types(true, &p).size(), 17);
    QVERIFY(calls().events.last().manager != first_manager);
    libvlc_media_player_release(old_player);
}

void tst_VlcDouble::swapReattaches()
{
    vlc::player a, b, quiet;
    QVERIFY(a.open(m_instance));
    QVERIFY(b.open(m_instance));
    QVERIFY(quiet.open(m_instance));
    silent_listener la, lb;
    a.register_callback(&la);
    b.register_callback(&lb);
    const auto unregister = qScopeGuard([&] {
        a.unregister_callback(&la);
        b.unregister_callback(&lb);
    });
    libvlc_event_manager_t* ma = libvlc_media_player_event_manager(a.basic_player().get_mp());
    libvlc_event_manager_t* mb = libvlc_media_player_event_manager(b.basic_player().get_mp());

    calls().reset();
    a.swap(&b);
    // Each core detaches from the player it had and attaches to the one it got.
    QCOMPARE(types(false, &a, ma), player_types);
    QCOMPARE(types(false, &b, mb), player_types);
    QCOMPARE(types(true, &a, mb), player_types);
    QCOMPARE(types(true, &b, ma), player_types);
    QCOMPARE(calls().events.size(), 4 * 17);

    // A core without listeners attaches nothing when swapped.
    calls().reset();
    a.swap(&quiet);
    QCOMPARE(types(true, &quiet).size(), 0);
    QCOMPARE(types(false, &a), player_types);
    QCOMPARE(types(true, &a), player_types);
}

void tst_VlcDouble::mediaListEventTypes()
{
    vlc::media_list_player p;
    QVERIFY(p.open(m_instance));
    silent_listener l;
    p.register_callback(&l);
    const auto unregister = qScopeGuard([&] { p.unregister_callback(&l); });
    QList<int> expected = player_types;
    expected << list_types;
    QCOMPARE(types(true, &p), expected);

    calls().reset();
    p.unregister_callback(&l);
    QCOMPARE(types(false, &p), expected);

    // Registered before open: the list's events follow once the list exists.
    calls().reset();
    vlc::media_list_player early;
    early.register_callback(&l);
    const auto unregister_early = qScopeGuard([&] { early.unregister_callback(&l); });
    QVERIFY(early.open(m_instance));
    QCOMPARE(types(true, &early), expected);
    early.unregister_callback(&l);
    QCOMPARE(types(false, &early), expected);
}

void tst_VlcDouble::vmemBindingAndInertCallbacks()
{
    vlc::player p;
    QVERIFY(p.open(m_instance));
    libvlc_media_player_t* mp = p.basic_player().get_mp();
    null_sink sink;

    calls().reset();
    QVERIFY(sink.open(&p.basic_player()));
    QCOMPARE(vmem_functions(mp), QStringList({ "retain", "set_callbacks", "set_format_callbacks" }));
    {
        const vmem_call bind = calls().vmem[1];
        QVERIFY(bind.lock && bind.unlock && bind.display);
        QCOMPARE(bind.opaque, static_cast<void*>(static_cast<vlc::basic_vmem_wrapper*>(&sink)));
        QVERIFY(calls().vmem[2].format && calls().vmem[2].cleanup);
    }

    // Bound already: no second set of callbacks.
    calls().reset();
    QVERIFY(sink.open(&p.basic_player()));
    QCOMPARE(vmem_functions(mp), QStringList());

    calls().reset();
    sink.close();
    QCOMPARE(vmem_functions(mp), QStringList({ "set_callbacks", "set_format_callbacks", "stop", "release" }));
    const vmem_call inert = calls().vmem[0];
    const vmem_call inert_format = calls().vmem[1];
    QVERIFY(inert.lock);
    QVERIFY(!inert.unlock);
    QVERIFY(!inert.display);
    QCOMPARE(inert.opaque, nullptr);
    QVERIFY(inert_format.format);
    QVERIFY(!inert_format.cleanup);

    // What libvlc would get from them afterwards: no format, no planes.
    void* planes[3] = { &planes, &planes, &planes };
    QCOMPARE(inert.lock(nullptr, planes), nullptr);
    QCOMPARE(planes[0], nullptr);
    QCOMPARE(planes[1], nullptr);
    QCOMPARE(planes[2], nullptr);
    char chroma[5] = "I420";
    unsigned width = 320, height = 240, pitches[3] = {}, lines[3] = {};
    void* opaque = nullptr;
    QCOMPARE(inert_format.format(&opaque, chroma, &width, &height, pitches, lines), 0u);

    calls().reset();
    sink.close();
    QCOMPARE(calls().vmem.size(), 0);

    // A core that holds nothing: refused, nothing called.
    vlc::player closed;
    QVERIFY(!sink.open(&closed.basic_player()));
    QCOMPARE(calls().vmem.size(), 0);
}

QTEST_GUILESS_MAIN(tst_VlcDouble)
#include "tst_vlcdouble.moc"
