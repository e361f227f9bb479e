#include "wrapper_fixture.h"

#include "vlc_media.h"

using namespace wrapper_test;

class tst_VlcMedia : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void emptyHandle();
    void copyAndAssign();
    void createMedia_data();
    void createMedia();
    void parseAndMeta();
    void optionsReachThePlayer_data();
    void optionsReachThePlayer();

private:
    libvlc_instance_t* m_instance = nullptr;
};

void tst_VlcMedia::initTestCase()
{
    // Our quiet arguments must all exist: libvlc refuses to start on an
    // unknown one, which this shows first.
    const char* const bogus[] = { "--no-such-option-at-all" };
    QVERIFY(libvlc_new(1, bogus) == nullptr);

    m_instance = new_quiet_instance();
    QVERIFY(m_instance);
    QVERIFY(!short_clip().isEmpty());
    QVERIFY(!long_clip().isEmpty());
}

void tst_VlcMedia::cleanupTestCase()
{
    if (m_instance)
        libvlc_release(m_instance);
}

void tst_VlcMedia::emptyHandle()
{
    vlc::media m;
    QVERIFY(m.empty());
    QCOMPARE(m.libvlc_media(), nullptr);
    QCOMPARE(m.mrl(), std::string());
    QCOMPARE(m.meta(libvlc_meta_Title), std::string());
    QVERIFY(!m.is_parsed());
    m.parse();
    m.set_meta(libvlc_meta_Title, "ignored");
    QCOMPARE(m.meta(libvlc_meta_Title), std::string());

    const vlc::media copy(m);
    QVERIFY(copy.empty());
    QVERIFY(copy == m);

    const vlc::media adopted_null(nullptr, false);
    QVERIFY(adopted_null.empty());
}

void tst_VlcMedia::copyAndAssign()
{
    const QByteArray mrl = location(short_clip());
    vlc::media full = vlc::media::create_media(m_instance, mrl.constData(), 0, nullptr, 0, nullptr);
    QVERIFY(!full.empty());

    {
        // Copies share the libvlc media and each own a reference: the
        // original stays usable after they are gone.
        vlc::media copy(full);
        vlc::media assigned;
        assigned = full;
        QVERIFY(copy == full);
        QVERIFY(assigned == full);
        QCOMPARE(copy.mrl(), std::string(mrl.constData()));
    }
    QCOMPARE(full.mrl(), std::string(mrl.constData()));

    // Self-assignment keeps exactly the one reference.
    vlc::media& alias = full;
    full = alias;
    QCOMPARE(full.mrl(), std::string(mrl.constData()));

    // A handle that is the last holder, assigned from another handle of the
    // same media: must not free the media before retaining it.
    vlc::media other(full);
    full.release_media();
    other = vlc::media(other);
    QCOMPARE(other.mrl(), std::string(mrl.constData()));

    // Assigning an empty handle gives the reference back.
    other = vlc::media();
    QVERIFY(other.empty());
    QCOMPARE(other.mrl(), std::string());

    // Retaining a pointer libvlc still owns, then dropping libvlc's own one.
    libvlc_media_t* raw = libvlc_media_new_location(m_instance, mrl.constData());
    QVERIFY(raw);
    vlc::media retained(raw, true);
    libvlc_media_release(raw);
    QCOMPARE(retained.mrl(), std::string(mrl.constData()));
}

void tst_VlcMedia::createMedia_data()
{
    QTest::addColumn<bool>("useInstance");
    QTest::addColumn<QByteArray>("mrl");
    QTest::addColumn<bool>("isPath");
    QTest::addColumn<QByteArray>("expectedMrl");

    const QString clip = short_clip();
    QTest::addRow("file location") << true << location(clip) << false << location(clip);
    QTest::addRow("plain path") << true << clip.toLocal8Bit() << true << location(clip);
    QTest::addRow("http location, not fetched") << true << QByteArray("http://127.0.0.1:9/none.ts") << false
                                                << QByteArray("http://127.0.0.1:9/none.ts");
    QTest::addRow("no instance") << false << location(clip) << false << QByteArray();
}

void tst_VlcMedia::createMedia()
{
    QFETCH(bool, useInstance);
    QFETCH(QByteArray, mrl);
    QFETCH(bool, isPath);
    QFETCH(QByteArray, expectedMrl);

    const char* options[] = { ":no-audio" };
    const vlc::media m = vlc::media::create_media(useInstance ? m_instance : nullptr, mrl.constData(),
                                                  1, options, 1, options, isPath);
    QCOMPARE(m.empty(), expectedMrl.isEmpty());
    QCOMPARE(QByteArray::fromStdString(m.mrl()), expectedMrl);
}

void tst_VlcMedia::parseAndMeta()
{
    const QByteArray mrl = location(short_clip());
    vlc::media m = vlc::media::create_media(m_instance, mrl.constData(), 0, nullptr, 0, nullptr);
    QVERIFY(!m.is_parsed());
    m.parse();
    QVERIFY(m.is_parsed());
    QCOMPARE(m.meta(libvlc_meta_Title), std::string("Wrapper clip"));

    m.set_meta(libvlc_meta_Title, "Changed in memory");
    QCOMPARE(m.meta(libvlc_meta_Title), std::string("Changed in memory"));

    // Not written back: a fresh media of the same file has the old title.
    vlc::media fresh = vlc::media::create_media(m_instance, mrl.constData(), 0, nullptr, 0, nullptr);
    fresh.parse();
    QCOMPARE(fresh.meta(libvlc_meta_Title), std::string("Wrapper clip"));
}

void tst_VlcMedia::optionsReachThePlayer_data()
{
    QTest::addColumn<bool>("trusted");
    QTest::addRow("untrusted start time") << false;
    QTest::addRow("trusted start time") << true;
}

void tst_VlcMedia::optionsReachThePlayer()
{
    QFETCH(bool, trusted);
    const QByteArray mrl = location(long_clip());
    const char* options[] = { ":start-time=30" };
    const vlc::media m = trusted
        ? vlc::media::create_media(m_instance, mrl.constData(), 0, nullptr, 1, options)
        : vlc::media::create_media(m_instance, mrl.constData(), 1, options, 0, nullptr);
    QVERIFY(!m.empty());

    libvlc_media_player_t* mp = libvlc_media_player_new_from_media(m.libvlc_media());
    QVERIFY(mp);
    libvlc_media_player_play(mp);
    QTRY_VERIFY_WITH_TIMEOUT(libvlc_media_player_get_time(mp) >= 30000, 5000);
    libvlc_media_player_stop(mp);
    libvlc_media_player_release(mp);
}

QTEST_GUILESS_MAIN(tst_VlcMedia)
#include "tst_vlcmedia.moc"
