#include <QtTest>

#include <dlfcn.h>
#include <map>
#include <mutex>

#include "vlc_media.h"
#include "vlc_media_list_player.h"
#include "vlc_player.h"
#include "vlc_vmem.h"

// What real libvlc does not let a test see: the reference balance of each media and
// media player, the option flags, and which event handlers are attached. The
// functions below take the place of libvlc's own for the wrapper linked into this
// test; each records the call and forwards it to the real libvlc function.

namespace {

struct journal {
    std::mutex guard;
    std::map<void*, int> references; // media and media players
    QStringList options; // "option flags"
    std::map<void*, int> handlers; // attached less detached, by the handler's user data
    std::map<void*, int> attaches; // by the handler's user data
};

journal& calls()
{
    static journal j;
    return j;
}

template <typename F>
void record(F&& f)
{
    std::lock_guard<std::mutex> lock(calls().guard);
    f(calls());
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
#define COUNTED(function, type, delta)                                              \
    void function(type* object)                                                     \
    {                                                                               \
        record([object](journal& j) { j.references[object] += object ? delta : 0; }); \
        REAL(function)(object);                                                     \
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

class silent : public vlc::media_player_events_callback, public vlc::vmem {
public:
    void media_player_event(const libvlc_event_t*) override {}
    void on_frame_ready(const std::vector<char>&) override {}
    void on_frame_cleanup() override {}
};

// Every reference taken given back, every handler of `core` detached.
bool balanced(const void* core)
{
    std::lock_guard<std::mutex> lock(calls().guard);
    for (const auto& entry : calls().references)
        if (entry.second != 0)
            return false;
    return calls().handlers[const_cast<void*>(core)] == 0;
}

int attached(const vlc::player_core* core)
{
    std::lock_guard<std::mutex> lock(calls().guard);
    return calls().handlers[const_cast<vlc::player_core*>(core)];
}

} // namespace

class tst_VlcDouble : public QObject {
    Q_OBJECT

    libvlc_instance_t* m_instance = nullptr;

private slots:
    void initTestCase()
    {
        const char* const args[] = { "-q", "--aout=adummy", "--vout=dummy" };
        m_instance = libvlc_new(3, args);
        QVERIFY(m_instance);
    }
    void cleanupTestCase() { libvlc_release(m_instance); }

    void mediaReferences()
    {
        const char* untrusted[] = { ":a=1", ":b=2" };
        const char* trusted[] = { ":c=3" };
        {
            vlc::media a = vlc::media::create_media(m_instance, "file:///tmp/x.mp4", 2, untrusted, 1, trusted);
            QCOMPARE(calls().options, (QStringList { ":a=1 100", ":b=2 100", ":c=3 102" }));
            QCOMPARE(calls().references[a.libvlc_media()], 1); // the creation's reference, adopted
            vlc::media copy(a), assigned, other = vlc::media::create_media(m_instance, "file:///tmp/y.mp4", 0, nullptr, 0, nullptr);
            assigned = a;
            assigned = assigned;
            QCOMPARE(calls().references[a.libvlc_media()], 3);
            assigned = other;
            copy = vlc::media();
            QCOMPARE(calls().references[a.libvlc_media()], 1);
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
        silent listener, sink;
        const void* core = nullptr;
        {
            vlc::media_list_player p;
            core = static_cast<vlc::player_core*>(&p);
            p.register_callback(&listener);
            QVERIFY(p.open(m_instance));
            QCOMPARE(attached(&p), 17 + 4 + 3);
            const int attaches = calls().attaches[const_cast<void*>(core)];
            QVERIFY(p.open(m_instance)); // a fresh player and list, their events attached in turn
            QCOMPARE(calls().attaches[const_cast<void*>(core)] - attaches, 17 + 4 + 3);
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

QTEST_GUILESS_MAIN(tst_VlcDouble)
#include "tst_vlcdouble.moc"
