#include "wrapper_fixture.h"

#include <functional>

#include "vlc_helpers.h"
#include "vlc_player.h"

using namespace wrapper_test;

namespace {

typedef std::function<QVariant(vlc::player&)> getter_t;

class audio_recorder : public vlc::audio_events_callback
{
public:
    void audio_event(vlc::audio_event_e e) override { events << int(e); }
    QList<int> events;
};

// A description list built by hand, as libvlc lays it out.
struct description_list
{
    std::vector<libvlc_track_description_t> entries;
    explicit description_list(const QVector<int>& ids)
        : entries(std::size_t(ids.size()))
    {
        for (int i = 0; i < ids.size(); ++i) {
            entries[std::size_t(i)].i_id = ids[i];
            entries[std::size_t(i)].psz_name = nullptr;
            entries[std::size_t(i)].p_next = i + 1 < ids.size() ? &entries[std::size_t(i) + 1] : nullptr;
        }
    }
    const libvlc_track_description_t* head() const { return entries.empty() ? nullptr : &entries[0]; }
};

} // namespace

Q_DECLARE_METATYPE(getter_t)

class tst_VlcControls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void closedNeutralValues_data();
    void closedNeutralValues();
    void closedSettersNotifyNobody();
    void trackIndexAndId_data();
    void trackIndexAndId();
    void playbackWhilePlaying();
    void audioNotifiesListeners();
    void tracksAreIndexedFromTheDisableEntry();
    void delaysInMilliseconds();
    void subtitleFile();
    void adjustFilter();

private:
    bool start(vlc::player& p, const QString& file);

    libvlc_instance_t* m_instance = nullptr;
    vlc::player m_closedAfterUse;
};

void tst_VlcControls::initTestCase()
{
    m_instance = new_quiet_instance("--aout=alsa");
    QVERIFY(m_instance);
    QVERIFY(!short_clip().isEmpty());
    QVERIFY(!long_clip().isEmpty());

    // Closing returns to the neutral values, after real playback and changes.
    QVERIFY(start(m_closedAfterUse, short_clip()));
    m_closedAfterUse.playback().set_rate(2.f);
    m_closedAfterUse.video().set_ajust_filter_var(libvlc_adjust_Contrast, 0.5f);
    m_closedAfterUse.audio().set_volume(30);
    m_closedAfterUse.close();
}

void tst_VlcControls::cleanupTestCase()
{
    if (m_instance)
        libvlc_release(m_instance);
}

bool tst_VlcControls::start(vlc::player& p, const QString& file)
{
    if (!p.open(m_instance))
        return false;
    const QByteArray mrl = location(file);
    if (p.add_media(mrl.constData(), 0, nullptr, 0, nullptr) != 0)
        return false;
    p.play();
    // Tracks are known once the decoders run: wait for the first picture time.
    return QTest::qWaitFor([&p] { return p.playback().get_time() > 0 && p.video().track_count() > 0; }, 10000);
}

void tst_VlcControls::closedNeutralValues_data()
{
    QTest::addColumn<getter_t>("getter");
    QTest::addColumn<QVariant>("expected");

    QTest::addRow("playback rate") << getter_t([](vlc::player& p) { return QVariant(p.playback().get_rate()); }) << QVariant(1.f);
    QTest::addRow("playback position") << getter_t([](vlc::player& p) { return QVariant(p.playback().get_position()); }) << QVariant(0.f);
    QTest::addRow("playback time") << getter_t([](vlc::player& p) { return QVariant(qint64(p.playback().get_time())); }) << QVariant(qint64(0));
    QTest::addRow("playback length") << getter_t([](vlc::player& p) { return QVariant(qint64(p.playback().get_length())); }) << QVariant(qint64(0));
    QTest::addRow("playback fps") << getter_t([](vlc::player& p) { return QVariant(p.playback().get_fps()); }) << QVariant(0.f);
    QTest::addRow("audio muted") << getter_t([](vlc::player& p) { return QVariant(p.audio().is_muted()); }) << QVariant(false);
    QTest::addRow("audio volume") << getter_t([](vlc::player& p) { return QVariant(p.audio().get_volume()); }) << QVariant(0u);
    QTest::addRow("audio track count") << getter_t([](vlc::player& p) { return QVariant(p.audio().track_count()); }) << QVariant(0u);
    QTest::addRow("audio track") << getter_t([](vlc::player& p) { return QVariant(p.audio().get_track()); }) << QVariant(-1);
    QTest::addRow("audio channel") << getter_t([](vlc::player& p) { return QVariant(int(p.audio().get_channel())); }) << QVariant(-1);
    QTest::addRow("audio delay") << getter_t([](vlc::player& p) { return QVariant(qint64(p.audio().get_delay())); }) << QVariant(qint64(0));
    QTest::addRow("video output") << getter_t([](vlc::player& p) { return QVariant(p.video().has_vout()); }) << QVariant(false);
    QTest::addRow("video track count") << getter_t([](vlc::player& p) { return QVariant(p.video().track_count()); }) << QVariant(0u);
    QTest::addRow("video track") << getter_t([](vlc::player& p) { return QVariant(p.video().get_track()); }) << QVariant(-1);
    QTest::addRow("adjust float gives the default") << getter_t([](vlc::player& p) {
        return QVariant(p.video().get_ajust_filter_var(libvlc_adjust_Contrast, 1.5f)); }) << QVariant(1.5f);
    QTest::addRow("adjust int gives the default") << getter_t([](vlc::player& p) {
        return QVariant(p.video().get_ajust_filter_var(libvlc_adjust_Enable, 7)); }) << QVariant(7);
    QTest::addRow("subtitle track count") << getter_t([](vlc::player& p) { return QVariant(p.subtitles().track_count()); }) << QVariant(0);
    QTest::addRow("subtitle track") << getter_t([](vlc::player& p) { return QVariant(p.subtitles().get_track()); }) << QVariant(-1);
    QTest::addRow("subtitle delay") << getter_t([](vlc::player& p) { return QVariant(qint64(p.subtitles().get_delay())); }) << QVariant(qint64(0));
    QTest::addRow("subtitle file") << getter_t([](vlc::player& p) { return QVariant(p.subtitles().load("/nonexistent.srt")); }) << QVariant(false);
}

void tst_VlcControls::closedNeutralValues()
{
    QFETCH(getter_t, getter);
    QFETCH(QVariant, expected);

    vlc::player never_opened;
    QCOMPARE(getter(never_opened), expected);
    QCOMPARE(getter(m_closedAfterUse), expected);
}

void tst_VlcControls::closedSettersNotifyNobody()
{
    vlc::player p;
    audio_recorder r;
    p.audio().register_callback(&r);
    const auto unregister_p_audio___r = qScopeGuard([&] { p.audio().unregister_callback(&r); });
    p.audio().set_mute(true);
    p.audio().toggle_mute();
    p.audio().set_volume(80);
    p.audio().set_track(1);
    p.audio().set_channel(libvlc_AudioChannel_Left);
    p.audio().set_delay(100);
    p.playback().set_rate(2.f);
    p.playback().set_position(0.5f);
    p.playback().set_time(1000);
    p.video().set_track(1);
    p.video().set_ajust_filter_var(libvlc_adjust_Contrast, 2.f);
    p.video().set_ajust_filter_var(libvlc_adjust_Enable, 1);
    p.subtitles().set_track(1);
    p.subtitles().set_delay(100);
    QCOMPARE(r.events, QList<int>());
    p.audio().unregister_callback(&r);
}

void tst_VlcControls::trackIndexAndId_data()
{
    QTest::addColumn<QVector<int>>("ids");
    QTest::addColumn<int>("idx");
    QTest::addColumn<int>("idForIdx");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("idxForId");

    QTest::addRow("no list") << QVector<int>() << 0 << -1 << 1 << -1;
    QTest::addRow("the disable entry at index 0") << QVector<int> { -1, 1, 2 } << 0 << -1 << 1 << 1;
    QTest::addRow("first real track at index 1") << QVector<int> { -1, 1, 2 } << 1 << 1 << 2 << 2;
    QTest::addRow("index beyond a three-entry list") << QVector<int> { -1, 1, 2 } << 5 << -1 << 7 << -1;
    QTest::addRow("negative index, negative id never searched") << QVector<int> { -1, 4 } << -1 << -1 << -1 << -1;
    QTest::addRow("ids that are not positions") << QVector<int> { -1, 17, 33 } << 2 << 33 << 17 << 1;
    QTest::addRow("first of two equal ids") << QVector<int> { 3, 3 } << 1 << 3 << 3 << 0;
}

void tst_VlcControls::trackIndexAndId()
{
    QFETCH(QVector<int>, ids);
    QFETCH(int, idx);
    QFETCH(int, idForIdx);
    QFETCH(int, id);
    QFETCH(int, idxForId);

    const description_list list(ids);
    QCOMPARE(vlc::track_idx_2_track_id(list.head(), idx), idForIdx);
    QCOMPARE(vlc::track_id_2_track_idx(list.head(), id), idxForId);
}

void tst_VlcControls::playbackWhilePlaying()
{
    vlc::player p;
    QVERIFY(start(p, long_clip()));
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(p.playback().get_length() - 60000) < 500, 5000);
    QVERIFY(p.video().has_vout());

    p.playback().set_time(30000);
    QTRY_VERIFY_WITH_TIMEOUT(p.playback().get_time() >= 30000, 5000);
    QVERIFY(p.playback().get_time() < 40000);
    QVERIFY(qAbs(p.playback().get_position() - 0.5f) < 0.1f);

    p.playback().set_position(0.75f);
    QTRY_VERIFY_WITH_TIMEOUT(p.playback().get_time() >= 45000, 5000);

    p.playback().set_rate(2.f);
    QCOMPARE(p.playback().get_rate(), 2.f);
}

void tst_VlcControls::audioNotifiesListeners()
{
    vlc::player p;
    audio_recorder first, second;
    QVERIFY(start(p, long_clip()));
    p.audio().register_callback(&first);
    const auto unregister_p_audio___first = qScopeGuard([&] { p.audio().unregister_callback(&first); });
    p.audio().register_callback(&second);
    const auto unregister_p_audio___second = qScopeGuard([&] { p.audio().unregister_callback(&second); });

    p.audio().set_volume(80);
    QCOMPARE(first.events, QList<int>({ vlc::volume_changed }));
    QCOMPARE(second.events, QList<int>({ vlc::volume_changed }));
    QTRY_COMPARE_WITH_TIMEOUT(p.audio().get_volume(), 80u, 5000);

    p.audio().set_mute(true);
    QTRY_VERIFY_WITH_TIMEOUT(p.audio().is_muted(), 5000);
    p.audio().toggle_mute();
    QTRY_VERIFY_WITH_TIMEOUT(!p.audio().is_muted(), 5000);
    QCOMPARE(first.events, QList<int>({ vlc::volume_changed, vlc::mute_changed, vlc::mute_changed }));

    p.audio().unregister_callback(&first);
    p.audio().set_volume(50);
    QCOMPARE(first.events.size(), 3);
    QCOMPARE(second.events.size(), 4);
}

void tst_VlcControls::tracksAreIndexedFromTheDisableEntry()
{
    vlc::player p;
    QVERIFY(start(p, long_clip()));
    QTRY_COMPARE_WITH_TIMEOUT(p.audio().get_track(), 1, 5000);

    // The disable entry counts among the tracks.
    QCOMPARE(p.audio().track_count(), 2u);
    QCOMPARE(p.video().track_count(), 2u);
    QCOMPARE(p.video().get_track(), 1);

    p.audio().set_track(0);
    QTRY_COMPARE_WITH_TIMEOUT(libvlc_audio_get_track(p.basic_player().get_mp()), -1, 5000);
    QCOMPARE(p.audio().get_track(), -1);
    p.audio().set_track(1);
    QTRY_COMPARE_WITH_TIMEOUT(p.audio().get_track(), 1, 5000);
    // Past the end of the list is the disable id.
    p.audio().set_track(5);
    QTRY_COMPARE_WITH_TIMEOUT(p.audio().get_track(), -1, 5000);

    p.video().set_track(0);
    QTRY_COMPARE_WITH_TIMEOUT(p.video().get_track(), -1, 5000);
    p.video().set_track(1);
    QTRY_COMPARE_WITH_TIMEOUT(p.video().get_track(), 1, 5000);
}

void tst_VlcControls::delaysInMilliseconds()
{
    vlc::player p;
    QVERIFY(start(p, long_clip()));
    libvlc_media_player_t* mp = p.basic_player().get_mp();

    p.audio().set_delay(250);
    QCOMPARE(libvlc_audio_get_delay(mp), int64_t(250000));
    QCOMPARE(p.audio().get_delay(), int64_t(250));
    libvlc_audio_set_delay(mp, -1500);
    QCOMPARE(p.audio().get_delay(), int64_t(-1));
    libvlc_audio_set_delay(mp, 1999);
    QCOMPARE(p.audio().get_delay(), int64_t(1));

    p.subtitles().set_delay(-40);
    QCOMPARE(libvlc_video_get_spu_delay(mp), int64_t(-40000));
    QCOMPARE(p.subtitles().get_delay(), int64_t(-40));
    libvlc_video_set_spu_delay(mp, -2500);
    QCOMPARE(p.subtitles().get_delay(), int64_t(-2));
}

void tst_VlcControls::subtitleFile()
{
    const QString srt = QDir(work_dir()).filePath("subs.srt");
    QFile f(srt);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("1\n00:00:00,000 --> 00:01:00,000\nHello\n\n");
    f.close();

    vlc::player p;
    QVERIFY(start(p, long_clip()));
    QCOMPARE(p.subtitles().track_count(), 0);
    QVERIFY(p.subtitles().load(srt.toStdString()));
    QTRY_COMPARE_WITH_TIMEOUT(p.subtitles().track_count(), 2, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(p.subtitles().get_track(), 1, 5000);
    p.subtitles().set_track(0);
    QTRY_COMPARE_WITH_TIMEOUT(p.subtitles().get_track(), -1, 5000);
}

void tst_VlcControls::adjustFilter()
{
    vlc::player p;
    QVERIFY(p.open(m_instance));
    p.video().set_ajust_filter_var(libvlc_adjust_Contrast, 1.25f);
    QCOMPARE(p.video().get_ajust_filter_var(libvlc_adjust_Contrast, 9.f), 1.25f);
}

QTEST_GUILESS_MAIN(tst_VlcControls)
#include "tst_vlccontrols.moc"
