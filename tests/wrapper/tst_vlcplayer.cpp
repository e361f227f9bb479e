#include "wrapper_fixture.h"

#include "vlc_player.h"

using namespace wrapper_test;

Q_DECLARE_METATYPE(vlc::playback_mode_e)

namespace {

typedef QVector<int> indices;

// A playlist player opened on the shared instance, filled with items named by
// their item data so that the tests can read the order back.
struct playlist_fixture
{
    vlc::player player;
    std::vector<vlc::media> media;

    playlist_fixture(libvlc_instance_t* instance, const QStringList& names, const QString& file)
    {
        player.open(instance);
        const QByteArray mrl = location(file);
        for (const QString& name : names) {
            media.push_back(vlc::media::create_media(instance, mrl.constData(), 0, nullptr, 0, nullptr));
            const int idx = player.add_media(media.back());
            player.set_item_data(unsigned(idx), name.toStdString());
        }
    }

    QStringList order()
    {
        QStringList names;
        for (unsigned i = 0; i < player.item_count(); ++i)
            names << QString::fromStdString(player.get_item_data(i));
        return names;
    }

    // Name of the item whose media the libvlc player holds, "" for none.
    QString held()
    {
        const vlc::media current = player.basic_player().current_media();
        for (std::size_t i = 0; i < media.size(); ++i) {
            if (media[i] == current)
                return QString(QChar('A' + int(i)));
        }
        return QString();
    }
};

QStringList names(int n)
{
    QStringList list;
    for (int i = 0; i < n; ++i)
        list << QString(QChar('A' + i));
    return list;
}

bool playing_or_starting(libvlc_state_t s)
{
    return s == libvlc_Opening || s == libvlc_Buffering || s == libvlc_Playing;
}

} // namespace

class tst_VlcPlayer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    // player_core and its event hub
    void closedCore();
    void eventsReachListeners_data();
    void eventsReachListeners();

    // the playlist rules
    void addMediaLimits();
    void playStartsAtTheFirstItem();
    void nextAndPrev_data();
    void nextAndPrev();
    void advanceItem_data();
    void advanceItem();
    void deleteItem_data();
    void deleteItem();
    void accessorsOutOfRange();
    void findMediaIndexComparesHandles();
    void setCurrentDoesNotStart();
    void clearItemsKeepsPlayback();
    void resumeWhilePausedRestartAfterEnd();
    void expandPlaylistFile_data();
    void expandPlaylistFile();
    void swapPlayers();

private:
    libvlc_instance_t* m_instance = nullptr;
    QString m_playlistFile;
};

void tst_VlcPlayer::initTestCase()
{
    m_instance = new_quiet_instance();
    QVERIFY(m_instance);
    QVERIFY(!short_clip().isEmpty());
    QVERIFY(!long_clip().isEmpty());
    QVERIFY(!colour_clip("red", 320, 240).isEmpty());

    // A playlist file naming three media: libvlc turns it into sub-items of
    // its media when it opens it.
    m_playlistFile = QDir(work_dir()).filePath("three.m3u");
    QFile m3u(m_playlistFile);
    QVERIFY(m3u.open(QIODevice::WriteOnly));
    m3u.write("#EXTM3U\n");
    m3u.write(short_clip().toLocal8Bit() + "\n");
    m3u.write(colour_clip("red", 320, 240).toLocal8Bit() + "\n");
    m3u.write(long_clip().toLocal8Bit() + "\n");
}

void tst_VlcPlayer::cleanupTestCase()
{
    if (m_instance)
        libvlc_release(m_instance);
}

void tst_VlcPlayer::closedCore()
{
    vlc::player p;
    QVERIFY(!p.is_open());
    QCOMPARE(p.get_instance(), nullptr);
    QCOMPARE(p.basic_player().get_state(), libvlc_NothingSpecial);
    QVERIFY(p.basic_player().current_media().empty());
    p.play();
    p.pause();
    p.togglePause();
    p.stop();
    p.close();

    QVERIFY(!p.open(nullptr));
    QVERIFY(!p.is_open());

    // A null instance leaves an open core as it was, instance included.
    QVERIFY(p.open(m_instance));
    libvlc_media_player_t* mp = p.basic_player().get_mp();
    QVERIFY(!p.open(nullptr));
    QCOMPARE(p.basic_player().get_mp(), mp);
    QCOMPARE(p.get_instance(), m_instance);
    QVERIFY(p.basic_player().open(m_instance) && !p.basic_player().open(nullptr));
    QVERIFY(p.basic_player().get_mp() != nullptr);
    const QByteArray mrl = location(short_clip());
    QCOMPARE(p.add_media(mrl.constData(), 0, nullptr, 0, nullptr), 0);
}

void tst_VlcPlayer::eventsReachListeners_data()
{
    QTest::addColumn<bool>("registerBeforeOpen");
    QTest::addRow("listener registered before open") << true;
    QTest::addRow("listener registered after open") << false;
}

void tst_VlcPlayer::eventsReachListeners()
{
    QFETCH(bool, registerBeforeOpen);
    event_recorder r;
    vlc::player p;
    const auto unregister_p_r = qScopeGuard([&] { p.unregister_callback(&r); });
    if (registerBeforeOpen)
        p.register_callback(&r);
    QVERIFY(p.open(m_instance));
    if (!registerBeforeOpen)
        p.register_callback(&r);

    const QByteArray mrl = location(short_clip());
    QCOMPARE(p.add_media(mrl.constData(), 0, nullptr, 0, nullptr), 0);
    p.play();
    QTRY_COMPARE_WITH_TIMEOUT(r.count(libvlc_MediaPlayerEndReached), 1, 10000);
    // Each event once: the exact types attached are checked in tst_vlcdouble.
    QCOMPARE(r.count(libvlc_MediaPlayerMediaChanged), 1);
    QCOMPARE(r.count(libvlc_MediaPlayerPlaying), 1);
}

void tst_VlcPlayer::addMediaLimits()
{
    const QByteArray mrl = location(short_clip());
    vlc::media m = vlc::media::create_media(m_instance, mrl.constData(), 0, nullptr, 0, nullptr);

    vlc::player closed;
    QCOMPARE(closed.add_media(m), -1);

    vlc::player p;
    QVERIFY(p.open(m_instance));
    QCOMPARE(p.add_media(vlc::media()), -1);
    for (int i = 0; i < 32767; ++i) {
        if (p.add_media(m) != i)
            QFAIL(qPrintable(QString("add_media refused item %1").arg(i)));
    }
    QCOMPARE(p.add_media(m), -1);
    QCOMPARE(p.item_count(), 32767u);
    QCOMPARE(p.current_item(), -1);
    p.close();
    QCOMPARE(p.item_count(), 0u);
}

void tst_VlcPlayer::playStartsAtTheFirstItem()
{
    playlist_fixture f(m_instance, names(3), long_clip());
    QCOMPARE(f.player.current_item(), -1);
    f.player.play();
    QCOMPARE(f.player.current_item(), 0);
    QCOMPARE(f.held(), QString("A"));
    QTRY_COMPARE_WITH_TIMEOUT(f.player.basic_player().get_state(), libvlc_Playing, 10000);
    QVERIFY(!f.player.play(3));
    QVERIFY(f.player.play(2));
    QCOMPARE(f.held(), QString("C"));
}

void tst_VlcPlayer::nextAndPrev_data()
{
    QTest::addColumn<vlc::playback_mode_e>("mode");
    QTest::addColumn<indices>("disabled");
    QTest::addColumn<int>("current");
    QTest::addColumn<bool>("forward");
    QTest::addColumn<int>("expected"); // -1: nothing is played

    QTest::addRow("next skips a disabled item") << vlc::mode_normal << indices { 1 } << 0 << true << 2;
    QTest::addRow("next after the last plays nothing in normal mode") << vlc::mode_normal << indices { 1 } << 2 << true << -1;
    QTest::addRow("next after the last plays nothing in single mode") << vlc::mode_single << indices {} << 2 << true << -1;
    QTest::addRow("next after the last wraps in loop mode") << vlc::mode_loop << indices { 1 } << 2 << true << 0;
    QTest::addRow("loop wrap skips disabled items at the start") << vlc::mode_loop << indices { 0 } << 2 << true << 1;
    QTest::addRow("next without a current item plays the first enabled") << vlc::mode_normal << indices { 0 } << -1 << true << 1;
    QTest::addRow("next with every item disabled plays nothing") << vlc::mode_loop << indices { 0, 1, 2 } << 0 << true << -1;
    QTest::addRow("prev with every item disabled plays nothing") << vlc::mode_loop << indices { 0, 1, 2 } << 2 << false << -1;
    QTest::addRow("prev skips a disabled item") << vlc::mode_normal << indices { 1 } << 2 << false << 0;
    QTest::addRow("prev at the first item plays nothing in normal mode") << vlc::mode_normal << indices {} << 0 << false << -1;
    QTest::addRow("prev at the first item wraps to the last enabled in loop mode") << vlc::mode_loop << indices { 2 } << 0 << false << 1;
    QTest::addRow("prev wraps round to the current item when the rest is disabled") << vlc::mode_loop << indices { 0, 1 } << 2 << false << 2;
    QTest::addRow("next from the only enabled item in loop mode plays it again") << vlc::mode_loop << indices { 0, 2 } << 1 << true << 1;
}

void tst_VlcPlayer::nextAndPrev()
{
    QFETCH(vlc::playback_mode_e, mode);
    QFETCH(indices, disabled);
    QFETCH(int, current);
    QFETCH(bool, forward);
    QFETCH(int, expected);

    playlist_fixture f(m_instance, names(3), long_clip());
    f.player.set_playback_mode(mode);
    for (int idx : disabled)
        f.player.disable_item(unsigned(idx), true);
    if (current >= 0)
        f.player.set_current(unsigned(current));
    const QString held_before = f.held();

    if (forward)
        f.player.next();
    else
        f.player.prev();

    if (expected < 0) {
        QCOMPARE(f.player.current_item(), current);
        QCOMPARE(f.held(), held_before);
        QTest::qWait(50);
        QVERIFY(!playing_or_starting(f.player.basic_player().get_state()));
    } else {
        QCOMPARE(f.player.current_item(), expected);
        QCOMPARE(f.held(), QString(QChar('A' + expected)));
        QTRY_COMPARE_WITH_TIMEOUT(f.player.basic_player().get_state(), libvlc_Playing, 10000);
    }
}

void tst_VlcPlayer::advanceItem_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<unsigned>("idx");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("order");
    QTest::addColumn<int>("expectedCurrent");

    QTest::addRow("forward past the current item") << 1 << 0u << 2 << "BCA" << 0;
    QTest::addRow("backward past the current item") << 0 << 2u << -2 << "CAB" << 1;
    QTest::addRow("forward onto the current item's place") << 2 << 0u << 2 << "BCA" << 1;
    QTest::addRow("backward from just after the current item") << 1 << 2u << -1 << "ACB" << 2;
    QTest::addRow("the current item itself moves") << 0 << 0u << 1 << "BAC" << 1;
    QTest::addRow("current item outside the moved range") << 0 << 1u << 1 << "ACB" << 0;
    QTest::addRow("target beyond the end does nothing") << 1 << 1u << 5 << "ABC" << 1;
    QTest::addRow("target before the start does nothing") << 1 << 1u << -2 << "ABC" << 1;
    QTest::addRow("index beyond the end does nothing") << 1 << 3u << -1 << "ABC" << 1;
    QTest::addRow("zero count does nothing") << 1 << 1u << 0 << "ABC" << 1;
    QTest::addRow("no current item stays none") << -1 << 0u << 2 << "BCA" << -1;
}

void tst_VlcPlayer::advanceItem()
{
    QFETCH(int, current);
    QFETCH(unsigned, idx);
    QFETCH(int, count);
    QFETCH(QString, order);
    QFETCH(int, expectedCurrent);

    playlist_fixture f(m_instance, names(3), long_clip());
    f.player.disable_item(0, true);
    if (current >= 0)
        f.player.set_current(unsigned(current));
    f.player.advance_item(idx, count);
    QCOMPARE(f.order().join(QString()), order);
    QCOMPARE(f.player.current_item(), expectedCurrent);
    // Flags travel with their item.
    QVERIFY(f.player.is_item_disabled(unsigned(order.indexOf('A'))));
    QCOMPARE(f.player.get_media(unsigned(order.indexOf('B'))), f.media[1]);
}

void tst_VlcPlayer::deleteItem_data()
{
    QTest::addColumn<int>("items");
    QTest::addColumn<vlc::playback_mode_e>("mode");
    QTest::addColumn<int>("current");
    QTest::addColumn<bool>("playing");
    QTest::addColumn<unsigned>("idx");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("expectedCurrent");
    QTest::addColumn<QString>("expectedHeld"); // whose media the libvlc player holds afterwards

    QTest::addRow("before the current item: it shifts down") << 3 << vlc::mode_normal << 2 << false << 0u << true << 1 << "C";
    QTest::addRow("after the current item: it stays") << 3 << vlc::mode_normal << 0 << false << 2u << true << 0 << "A";
    QTest::addRow("the current, playing: the next item plays") << 3 << vlc::mode_normal << 1 << true << 1u << true << 1 << "C";
    QTest::addRow("the current, not playing: nothing starts") << 3 << vlc::mode_normal << 1 << false << 1u << true << 1 << "B";
    QTest::addRow("the last, playing, normal mode: nothing plays") << 3 << vlc::mode_normal << 2 << true << 2u << true << 1 << "C";
    QTest::addRow("the last, playing, loop mode: the first plays") << 3 << vlc::mode_loop << 2 << true << 2u << true << 0 << "A";
    QTest::addRow("the only item") << 1 << vlc::mode_normal << 0 << false << 0u << true << -1 << "A";
    QTest::addRow("an index beyond the end") << 3 << vlc::mode_normal << 1 << false << 3u << false << 1 << "B";
    QTest::addRow("no current item: it stays none") << 3 << vlc::mode_normal << -1 << false << 1u << true << -1 << "";
    QTest::addRow("no current item, last index: it stays none") << 3 << vlc::mode_normal << -1 << false << 2u << true << -1 << "";
}

void tst_VlcPlayer::deleteItem()
{
    QFETCH(int, items);
    QFETCH(vlc::playback_mode_e, mode);
    QFETCH(int, current);
    QFETCH(bool, playing);
    QFETCH(unsigned, idx);
    QFETCH(bool, result);
    QFETCH(int, expectedCurrent);
    QFETCH(QString, expectedHeld);

    playlist_fixture f(m_instance, names(items), long_clip());
    f.player.set_playback_mode(mode);
    if (current >= 0) {
        f.player.set_current(unsigned(current));
        if (playing) {
            f.player.play();
            QTRY_COMPARE_WITH_TIMEOUT(f.player.basic_player().get_state(), libvlc_Playing, 10000);
        }
    }
    const libvlc_media_player_t* mp = f.player.basic_player().get_mp();

    QCOMPARE(f.player.delete_item(idx), result);
    QCOMPARE(f.player.item_count(), unsigned(result ? items - 1 : items));
    QCOMPARE(f.player.current_item(), expectedCurrent);
    QCOMPARE(f.held(), expectedHeld);
    QCOMPARE(f.player.basic_player().get_mp(), mp);
    if (playing)
        QTRY_COMPARE_WITH_TIMEOUT(f.player.basic_player().get_state(), libvlc_Playing, 10000);
    else
        QVERIFY(!playing_or_starting(f.player.basic_player().get_state()));
}

void tst_VlcPlayer::accessorsOutOfRange()
{
    playlist_fixture f(m_instance, names(2), long_clip());
    QVERIFY(f.player.get_media(2).empty());
    QVERIFY(!f.player.is_item_disabled(2));
    QCOMPARE(f.player.get_item_data(2), std::string());
    f.player.set_item_data(2, "lost");
    f.player.disable_item(2, true);
    f.player.set_current(2);
    QCOMPARE(f.player.current_item(), -1);
    QCOMPARE(f.player.get_item_data(2), std::string());
    QCOMPARE(f.order(), QStringList({ "A", "B" }));

    f.player.disable_item(1, true);
    QVERIFY(f.player.is_item_disabled(1));
    f.player.disable_item(1, false);
    QVERIFY(!f.player.is_item_disabled(1));
}

void tst_VlcPlayer::findMediaIndexComparesHandles()
{
    playlist_fixture f(m_instance, names(2), long_clip());
    QCOMPARE(f.player.add_media(f.media[1]), 2);
    QCOMPARE(f.player.find_media_index(f.media[1]), 1);
    QCOMPARE(f.player.find_media_index(f.media[0]), 0);
    // Same file, another media: a different item.
    const QByteArray mrl = location(long_clip());
    const vlc::media other = vlc::media::create_media(m_instance, mrl.constData(), 0, nullptr, 0, nullptr);
    QCOMPARE(f.player.find_media_index(other), -1);
    QCOMPARE(f.player.find_media_index(vlc::media()), -1);
}

void tst_VlcPlayer::setCurrentDoesNotStart()
{
    playlist_fixture f(m_instance, names(3), long_clip());
    f.player.disable_item(1, true);
    f.player.set_current(1);
    QCOMPARE(f.player.current_item(), 1);
    QCOMPARE(f.held(), QString("B"));
    QTest::qWait(50);
    QCOMPARE(f.player.basic_player().get_state(), libvlc_NothingSpecial);
    // play() and play(idx) ignore the disabled flag.
    f.player.play();
    QCOMPARE(f.held(), QString("B"));
    QTRY_COMPARE_WITH_TIMEOUT(f.player.basic_player().get_state(), libvlc_Playing, 10000);
}

void tst_VlcPlayer::clearItemsKeepsPlayback()
{
    playlist_fixture f(m_instance, names(3), long_clip());
    f.player.play(1);
    QTRY_COMPARE_WITH_TIMEOUT(f.player.basic_player().get_state(), libvlc_Playing, 10000);
    f.player.clear_items();
    QCOMPARE(f.player.item_count(), 0u);
    QCOMPARE(f.player.current_item(), -1);
    QCOMPARE(f.held(), QString("B"));
    QCOMPARE(f.player.basic_player().get_state(), libvlc_Playing);

    // With an empty list play() resumes whatever the libvlc player holds.
    f.player.pause();
    QTRY_COMPARE_WITH_TIMEOUT(f.player.basic_player().get_state(), libvlc_Paused, 5000);
    f.player.play();
    QTRY_COMPARE_WITH_TIMEOUT(f.player.basic_player().get_state(), libvlc_Playing, 5000);
    f.player.next();
    f.player.prev();
    QCOMPARE(f.held(), QString("B"));
}

void tst_VlcPlayer::resumeWhilePausedRestartAfterEnd()
{
    event_recorder r;
    vlc::player p;
    QVERIFY(p.open(m_instance));
    p.register_callback(&r);
    const auto unregister_p_r = qScopeGuard([&] { p.unregister_callback(&r); });
    const QByteArray mrl = location(short_clip());
    p.add_media(mrl.constData(), 0, nullptr, 0, nullptr);

    p.play(0);
    QTRY_COMPARE_WITH_TIMEOUT(p.basic_player().get_state(), libvlc_Playing, 10000);
    p.pause();
    QTRY_COMPARE_WITH_TIMEOUT(p.basic_player().get_state(), libvlc_Paused, 5000);
    r.clear();
    p.play(0);
    QTRY_COMPARE_WITH_TIMEOUT(p.basic_player().get_state(), libvlc_Playing, 5000);
    // Resumed, not set again.
    QCOMPARE(r.count(libvlc_MediaPlayerMediaChanged), 0);
    QCOMPARE(r.count(libvlc_MediaPlayerOpening), 0);

    QTRY_COMPARE_WITH_TIMEOUT(p.basic_player().get_state(), libvlc_Ended, 10000);
    r.clear();
    p.play(0);
    // Ended: the media is set again, which restarts it from the beginning.
    QTRY_COMPARE_WITH_TIMEOUT(r.count(libvlc_MediaPlayerEndReached), 1, 10000);
    QCOMPARE(r.count(libvlc_MediaPlayerMediaChanged), 1);
    QCOMPARE(r.count(libvlc_MediaPlayerPlaying), 1);
    QCOMPARE(p.current_item(), 0);
}

void tst_VlcPlayer::expandPlaylistFile_data()
{
    QTest::addColumn<QStringList>("around");   // items before and after the playlist file
    QTest::addColumn<QString>("itemData");
    QTest::addColumn<bool>("fromLibvlcPlayer"); // no current item: libvlc's player holds the file

    QTest::addRow("between two items, with item data") << QStringList({ "X", "Y" }) << "setting" << false;
    QTest::addRow("no current item: the player's own media") << QStringList({ "X" }) << "" << true;
}

void tst_VlcPlayer::expandPlaylistFile()
{
    QFETCH(QStringList, around);
    QFETCH(QString, itemData);
    QFETCH(bool, fromLibvlcPlayer);

    event_recorder r;
    vlc::player p;
    QVERIFY(p.open(m_instance));
    p.register_callback(&r);
    const auto unregister_p_r = qScopeGuard([&] { p.unregister_callback(&r); });
    p.set_playback_mode(vlc::mode_normal);

    const QByteArray clip = location(long_clip());
    const QByteArray list = location(m_playlistFile);
    vlc::media container = vlc::media::create_media(m_instance, list.constData(), 0, nullptr, 0, nullptr);
    int container_idx = -1;
    if (!around.isEmpty())
        p.set_item_data(unsigned(p.add_media(clip.constData(), 0, nullptr, 0, nullptr)), around.first().toStdString());
    if (fromLibvlcPlayer) {
        p.basic_player().set_media(container);
        p.basic_player().play();
    } else {
        container_idx = p.add_media(container);
        p.set_item_data(unsigned(container_idx), itemData.toStdString());
    }
    if (around.size() > 1)
        p.set_item_data(unsigned(p.add_media(clip.constData(), 0, nullptr, 0, nullptr)), around.last().toStdString());
    if (container_idx >= 0)
        p.play(unsigned(container_idx));

    // Opening the playlist file gives its media three sub-items and ends.
    QTRY_COMPARE_WITH_TIMEOUT(r.count(libvlc_MediaPlayerEndReached), 1, 10000);
    const unsigned before = p.item_count();

    p.next();

    const int first = fromLibvlcPlayer ? 0 : container_idx;
    QCOMPARE(p.item_count(), before + 3 - (fromLibvlcPlayer ? 0 : 1));
    QCOMPARE(p.current_item(), first);
    const QStringList expected_files = { short_clip(), colour_clip("red", 320, 240), long_clip() };
    for (int i = 0; i < 3; ++i) {
        const unsigned idx = unsigned(first + i);
        QCOMPARE(QString::fromStdString(p.get_media(idx).mrl()), QString::fromLatin1(location(expected_files[i])));
        QCOMPARE(QString::fromStdString(p.get_item_data(idx)), itemData);
        QVERIFY(!p.is_item_disabled(idx));
    }
    if (!around.isEmpty())
        QCOMPARE(QString::fromStdString(p.get_item_data(fromLibvlcPlayer ? 3 : 0)), around.first());
    if (around.size() > 1)
        QCOMPARE(QString::fromStdString(p.get_item_data(p.item_count() - 1)), around.last());

    // The first sub-item plays.
    QVERIFY(p.basic_player().current_media() == p.get_media(unsigned(first)));
    QTRY_COMPARE_WITH_TIMEOUT(r.count(libvlc_MediaPlayerEndReached), 2, 10000);

    // A plain media has no sub-items: next() just moves on.
    p.next();
    QCOMPARE(p.current_item(), first + 1);
}

void tst_VlcPlayer::swapPlayers()
{
    playlist_fixture f1(m_instance, names(3), long_clip());
    playlist_fixture f2(m_instance, names(1), long_clip());
    f1.player.set_playback_mode(vlc::mode_loop);
    f1.player.set_current(2);
    libvlc_media_player_t* mp1 = f1.player.basic_player().get_mp();

    f1.player.swap(&f2.player);
    QCOMPARE(f2.player.item_count(), 3u);
    QCOMPARE(f2.player.current_item(), 2);
    QCOMPARE(f2.player.get_playback_mode(), vlc::mode_loop);
    QCOMPARE(f2.player.basic_player().get_mp(), mp1);
    QCOMPARE(f1.player.item_count(), 1u);
    QCOMPARE(f1.player.current_item(), -1);
    QCOMPARE(f1.player.get_playback_mode(), vlc::mode_single);

    f1.player.swap(&f1.player);
    QCOMPARE(f1.player.item_count(), 1u);
}

QTEST_GUILESS_MAIN(tst_VlcPlayer)
#include "tst_vlcplayer.moc"
