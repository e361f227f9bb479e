#include "wrapper_fixture.h"

#include "vlc_media_list_player.h"

using namespace wrapper_test;

namespace {

// Keeps the media-list events as "name:index"; player events go to the base.
class list_recorder : public event_recorder
{
public:
    void media_player_event(const libvlc_event_t* e) override
    {
        static const char* const names[] = { "added", "will-add", "deleted", "will-delete" };
        const int kind = e->type - libvlc_MediaListItemAdded;
        if (kind < 0 || kind > 3)
            return event_recorder::media_player_event(e);
        // The four list events share one layout: the item, then its index.
        std::lock_guard<std::mutex> lock(_guard);
        _list_events << QString("%1:%2").arg(names[kind]).arg(e->u.media_list_item_added.index);
    }

    QStringList list_events() const
    {
        std::lock_guard<std::mutex> lock(_guard);
        return _list_events;
    }

    void clear_list_events()
    {
        std::lock_guard<std::mutex> lock(_guard);
        _list_events.clear();
    }

private:
    mutable std::mutex _guard;
    QStringList _list_events;
};

} // namespace

class tst_VlcMediaListPlayer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void neverOpened();
    void listEvents();
    void listenerBeforeOpenAndReopen();
    void sameMediaTwice();
    void playbackModes();
    void playsThroughTheList();

private:
    vlc::media new_media(const QString& file)
    {
        const QByteArray mrl = location(file);
        return vlc::media::create_media(m_instance, mrl.constData(), 0, nullptr, 0, nullptr);
    }

    libvlc_instance_t* m_instance = nullptr;
};

void tst_VlcMediaListPlayer::initTestCase()
{
    m_instance = new_quiet_instance();
    QVERIFY(m_instance);
    QVERIFY(!short_clip().isEmpty());
    QVERIFY(!long_clip().isEmpty());
}

void tst_VlcMediaListPlayer::cleanupTestCase()
{
    if (m_instance)
        libvlc_release(m_instance);
}

void tst_VlcMediaListPlayer::neverOpened()
{
    vlc::media_list_player p;
    const vlc::media m = new_media(short_clip());
    QCOMPARE(p.add_media(m), -1);
    const QByteArray mrl = location(short_clip());
    QCOMPARE(p.add_media(mrl.constData(), 0, nullptr, 0, nullptr), -1);
    QCOMPARE(p.item_count(), 0u);
    QVERIFY(!p.delete_item(0));
    QVERIFY(p.get_media(0).empty());
    QCOMPARE(p.find_media_index(m), -1);
    QCOMPARE(p.current_item(), -1);
    QVERIFY(!p.play(0));
    p.play();
    p.next();
    p.prev();
    p.clear_items();
    QVERIFY(!p.is_item_disabled(0));
    QCOMPARE(p.get_item_data(0), std::string());
    QCOMPARE(p.basic_player().get_state(), libvlc_NothingSpecial);
}

void tst_VlcMediaListPlayer::listEvents()
{
    list_recorder r;
    vlc::media_list_player p;
    QVERIFY(p.open(m_instance));
    p.register_callback(&r);
    const auto unregister_p_r = qScopeGuard([&] { p.unregister_callback(&r); });

    for (int i = 0; i < 3; ++i)
        QCOMPARE(p.add_media(new_media(long_clip())), i);
    QCOMPARE(p.item_count(), 3u);
    QCOMPARE(r.list_events(), QStringList({ "will-add:0", "added:0", "will-add:1", "added:1", "will-add:2", "added:2" }));

    r.clear_list_events();
    QVERIFY(p.delete_item(1));
    QVERIFY(!p.delete_item(5));
    QCOMPARE(r.list_events(), QStringList({ "will-delete:1", "deleted:1" }));
    QVERIFY(p.add_media(new_media(long_clip())) == 2);

    r.clear_list_events();
    p.clear_items();
    QCOMPARE(p.item_count(), 0u);
    QCOMPARE(r.list_events(), QStringList({ "will-delete:2", "deleted:2", "will-delete:1", "deleted:1",
                                            "will-delete:0", "deleted:0" }));

    // Removing the last listener detaches the list's events too.
    p.unregister_callback(&r);
    r.clear_list_events();
    p.add_media(new_media(long_clip()));
    QCOMPARE(r.list_events(), QStringList());
    p.close();
}

void tst_VlcMediaListPlayer::listenerBeforeOpenAndReopen()
{
    list_recorder r;
    vlc::media_list_player p;
    p.register_callback(&r);
    const auto unregister_p_r = qScopeGuard([&] { p.unregister_callback(&r); });
    QVERIFY(p.open(m_instance));
    QCOMPARE(p.add_media(new_media(long_clip())), 0);
    QCOMPARE(r.list_events(), QStringList({ "will-add:0", "added:0" }));

    // Reopening gives a new, empty list whose events reach the same listener.
    r.clear_list_events();
    QVERIFY(p.open(m_instance));
    QCOMPARE(p.item_count(), 0u);
    QCOMPARE(p.add_media(new_media(long_clip())), 0);
    QCOMPARE(r.list_events(), QStringList({ "will-add:0", "added:0" }));

    // Closed, it refuses media; reopened, it starts empty again.
    p.unregister_callback(&r);
    p.close();
    QVERIFY(!p.is_open());
    QCOMPARE(p.add_media(new_media(long_clip())), -1);
    QVERIFY(!p.open(nullptr));
    QVERIFY(p.open(m_instance));
    QCOMPARE(p.item_count(), 0u);
}

void tst_VlcMediaListPlayer::sameMediaTwice()
{
    vlc::media_list_player p;
    QVERIFY(p.open(m_instance));
    const vlc::media a = new_media(long_clip());
    const vlc::media b = new_media(long_clip());
    QCOMPARE(p.add_media(a), 0);
    QCOMPARE(p.add_media(b), 1);
    QCOMPARE(p.add_media(a), 0);
    QCOMPARE(p.item_count(), 3u);
    QCOMPARE(p.find_media_index(b), 1);
    QVERIFY(p.get_media(2) == a);
    QVERIFY(p.get_media(3).empty());
    QCOMPARE(p.add_media(vlc::media()), -1);
    // Item flags and data are not kept.
    p.disable_item(1, true);
    p.set_item_data(1, "lost");
    p.advance_item(0, 1);
    p.set_current(1);
    QVERIFY(!p.is_item_disabled(1));
    QCOMPARE(p.get_item_data(1), std::string());
    QVERIFY(p.get_media(0) == a);
    QCOMPARE(p.current_item(), -1);
}

void tst_VlcMediaListPlayer::playbackModes()
{
    vlc::media_list_player p;
    p.set_playback_mode(vlc::mode_normal);
    QVERIFY(p.open(m_instance));
    for (int i = 0; i < 2; ++i)
        p.add_media(new_media(long_clip()));

    // libvlc 3.0 answers its very first play-at-index with -1 although it
    // plays the item, so only the outcome is checked here.
    p.play(1);
    QTRY_COMPARE_WITH_TIMEOUT(p.basic_player().get_state(), libvlc_Playing, 10000);
    QVERIFY(p.play(1));
    QVERIFY(!p.play(2));
    QCOMPARE(p.current_item(), 1);
    // Default mode: no item after the last one.
    p.next();
    QTest::qWait(100);
    QCOMPARE(p.current_item(), 1);

    p.set_playback_mode(vlc::mode_loop);
    p.next();
    QTRY_COMPARE_WITH_TIMEOUT(p.current_item(), 0, 5000);
    p.set_playback_mode(vlc::mode_single);
    QCOMPARE(p.get_playback_mode(), vlc::mode_loop);
    p.prev();
    QTRY_COMPARE_WITH_TIMEOUT(p.current_item(), 1, 5000);
}

void tst_VlcMediaListPlayer::playsThroughTheList()
{
    list_recorder r;
    vlc::media_list_player p;
    QVERIFY(p.open(m_instance));
    p.register_callback(&r);
    const auto unregister_p_r = qScopeGuard([&] { p.unregister_callback(&r); });
    p.add_media(new_media(short_clip()));
    p.add_media(new_media(short_clip()));

    // libvlc's list player advances by itself at the end of each item.
    p.play();
    QTRY_COMPARE_WITH_TIMEOUT(r.count(libvlc_MediaPlayerEndReached), 2, 15000);
    QCOMPARE(r.count(libvlc_MediaPlayerMediaChanged), 2);
    QCOMPARE(p.current_item(), 1);
}

QTEST_GUILESS_MAIN(tst_VlcMediaListPlayer)
#include "tst_vlcmedialistplayer.moc"
