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
    void selfAssignmentOfTheLastHolder();
    void createMedia_data();
    void createMedia();
    void parseAndMeta();
    void optionsReachThePlayer();

private:
    libvlc_instance_t* m_instance = nullptr;
};

void tst_VlcMedia::initTestCase()
{
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

void tst_VlcMedia::selfAssignmentOfTheLastHolder()
{
    // Reference counts are checked in tst_vlcdouble; this one frees the media
    // if the handle gives up its reference before checking for itself.
    const QByteArray mrl = location(short_clip());
    vlc::media only = vlc::media::create_media(m_instance, mrl.constData(), 0, nullptr, 0, nullptr);
    vlc::media& alias = only;
    only = alias;
    QCOMPARE(only.mrl(), std::string(mrl.constData()));
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
}

void tst_VlcMedia::optionsReachThePlayer()
{
    // Which flags each option gets is checked in tst_vlcdouble.
    const QByteArray mrl = location(long_clip());
    const char* options[] = { ":start-time=30" };
    const vlc::media m = vlc::media::create_media(m_instance, mrl.constData(), 0, nullptr, 1, options);
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
