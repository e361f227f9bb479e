#include "wrapper_fixture.h"

#include "vlc_player.h"
#include "vlc_vmem.h"

using namespace wrapper_test;

namespace {

// 0xRRGGBB, without pulling in Qt GUI for one pixel.
typedef unsigned rgb;
rgb make_rgb(int r, int g, int b)
{
    return unsigned(r) << 16 | unsigned(g) << 8 | unsigned(b);
}
int channel(rgb c, int shift)
{
    return int(c >> shift & 0xFF);
}

// Counts what libvlc's video-output thread hands over and keeps the centre
// pixel of the last picture.
class picture_sink : public vlc::vmem
{
public:
    ~picture_sink() { close(); }

    // Direct access to the format negotiation, as libvlc calls it.
    unsigned format(char* chroma, unsigned* w, unsigned* h, unsigned* pitches, unsigned* lines)
    {
        return video_format_cb(chroma, w, h, pitches, lines);
    }
    void cleanup() { video_cleanup_cb(); }
    void* lock(void** planes) { return video_lock_cb(planes); }

    std::atomic<int> formats { 0 };
    std::atomic<int> frames { 0 };
    std::atomic<int> cleanups { 0 };
    std::atomic<std::size_t> buffer_size { 0 };

    rgb centre() const
    {
        std::lock_guard<std::mutex> lock(_guard);
        return _centre;
    }

protected:
    void on_format_setup() override { ++formats; }

    void on_frame_ready(const std::vector<char>& frame_buf) override
    {
        buffer_size = frame_buf.size();
        const unsigned w = width(), h = height();
        if (w && h && frame_buf.size() >= std::size_t(w) * h * 4) {
            // RV32 is B, G, R, unused in memory.
            const unsigned char* px = reinterpret_cast<const unsigned char*>(frame_buf.data())
                + (std::size_t(h / 2) * w + w / 2) * 4;
            std::lock_guard<std::mutex> lock(_guard);
            _centre = make_rgb(px[2], px[1], px[0]);
        }
        ++frames;
    }

    void on_frame_cleanup() override { ++cleanups; }

private:
    mutable std::mutex _guard;
    rgb _centre = 0;
};

bool near(rgb a, rgb b)
{
    for (int shift : { 16, 8, 0 }) {
        if (qAbs(channel(a, shift) - channel(b, shift)) >= 40)
            return false;
    }
    return true;
}

} // namespace

class tst_VlcVmem : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void formatFitsTheDesiredSize_data();
    void formatFitsTheDesiredSize();
    void cleanupAndLock();
    void picturesOfRealMedia();
    void openAndCloseRules();
    void bindingOutlivesTheCoresPlayer();

private:
    bool start(vlc::player& p, const QString& file);

    libvlc_instance_t* m_instance = nullptr;
};

void tst_VlcVmem::initTestCase()
{
    m_instance = new_quiet_instance();
    QVERIFY(m_instance);
    QVERIFY(!colour_clip("red", 320, 192).isEmpty());
    QVERIFY(!colour_clip("blue", 320, 192, 30).isEmpty());
}

void tst_VlcVmem::cleanupTestCase()
{
    if (m_instance)
        libvlc_release(m_instance);
}

bool tst_VlcVmem::start(vlc::player& p, const QString& file)
{
    const QByteArray mrl = location(file);
    if (p.add_media(mrl.constData(), 0, nullptr, 0, nullptr) < 0)
        return false;
    p.play();
    return true;
}

void tst_VlcVmem::formatFitsTheDesiredSize_data()
{
    QTest::addColumn<unsigned>("desiredWidth");
    QTest::addColumn<unsigned>("desiredHeight");
    QTest::addColumn<unsigned>("width");
    QTest::addColumn<unsigned>("height");
    QTest::addColumn<unsigned>("expectedWidth");
    QTest::addColumn<unsigned>("expectedHeight");

    QTest::addRow("1920x1080 into 640x360: same ratio") << 640u << 360u << 1920u << 1080u << 640u << 360u;
    QTest::addRow("1440x1080 into 640x360: narrower, full height") << 640u << 360u << 1440u << 1080u << 480u << 360u;
    QTest::addRow("2560x1080 into 640x360: wider, full width") << 640u << 360u << 2560u << 1080u << 640u << 270u;
    QTest::addRow("wider source already at the desired width") << 640u << 360u << 640u << 200u << 640u << 200u;
    QTest::addRow("narrower source already at the desired height") << 640u << 360u << 300u << 360u << 300u << 360u;
    QTest::addRow("rounds to the nearest pixel") << 640u << 360u << 1000u << 999u << 360u << 360u;
    QTest::addRow("upscales a small source") << 640u << 360u << 160u << 90u << 640u << 360u;
    QTest::addRow("0x0 keeps the decoder size") << 0u << 0u << 1280u << 720u << 1280u << 720u;
    QTest::addRow("one desired side 0 keeps the decoder size") << 640u << 0u << 1280u << 720u << 1280u << 720u;
    QTest::addRow("zero source height is left alone") << 640u << 360u << 1280u << 0u << 1280u << 0u;
}

void tst_VlcVmem::formatFitsTheDesiredSize()
{
    QFETCH(unsigned, desiredWidth);
    QFETCH(unsigned, desiredHeight);
    QFETCH(unsigned, width);
    QFETCH(unsigned, height);
    QFETCH(unsigned, expectedWidth);
    QFETCH(unsigned, expectedHeight);

    picture_sink sink;
    sink.set_desired_size(desiredWidth, desiredHeight);
    char chroma[5] = "I420";
    unsigned pitches[3] = { 0, 0, 0 };
    unsigned lines[3] = { 0, 0, 0 };
    QCOMPARE(sink.format(chroma, &width, &height, pitches, lines), 1u);
    QCOMPARE(width, expectedWidth);
    QCOMPARE(height, expectedHeight);
    QCOMPARE(sink.width(), expectedWidth);
    QCOMPARE(sink.height(), expectedHeight);
    QCOMPARE(QByteArray(chroma, 4), QByteArray("RV32"));
    QCOMPARE(pitches[0], expectedWidth * 4);
    QCOMPARE(lines[0], expectedHeight);
    QCOMPARE(sink.formats.load(), 1);

    // The buffer has one spare line, so even a zero height gets one.
    void* planes[3] = { nullptr, nullptr, nullptr };
    QCOMPARE(sink.lock(planes), nullptr);
    QVERIFY(planes[0] != nullptr);
}

void tst_VlcVmem::cleanupAndLock()
{
    picture_sink sink;
    void* planes[3] = { reinterpret_cast<void*>(1), nullptr, nullptr };
    QCOMPARE(sink.lock(planes), nullptr);
    QCOMPARE(planes[0], nullptr);

    char chroma[5] = "I420";
    unsigned w = 1280, h = 720, pitches[3] = {}, lines[3] = {};
    sink.format(chroma, &w, &h, pitches, lines);
    sink.cleanup();
    QCOMPARE(sink.cleanups.load(), 1);
    QCOMPARE(sink.width(), 0u);
    QCOMPARE(sink.height(), 0u);
    sink.lock(planes);
    QCOMPARE(planes[0], nullptr);
}

void tst_VlcVmem::picturesOfRealMedia()
{
    // The size rules are checked in formatFitsTheDesiredSize; here libvlc
    // scales the 320x192 clip to the size we chose and fills our buffer.
    const unsigned expectedWidth = 160, expectedHeight = 96;
    vlc::player p;
    picture_sink sink;
    QVERIFY(p.open(m_instance));
    sink.set_desired_size(160, 160);
    QVERIFY(sink.open(&p.basic_player()));
    QVERIFY(sink.is_open());
    QVERIFY(start(p, colour_clip("red", 320, 192)));

    QTRY_VERIFY_WITH_TIMEOUT(sink.frames.load() >= 5, 10000);
    QCOMPARE(sink.width(), expectedWidth);
    QCOMPARE(sink.height(), expectedHeight);
    QCOMPARE(sink.buffer_size.load(), std::size_t(expectedHeight + 1) * expectedWidth * 4);
    QVERIFY2(near(sink.centre(), make_rgb(255, 0, 0)), qPrintable(QString::number(sink.centre(), 16)));

    // Closing the binding stops the player: every format is given back.
    QTRY_COMPARE_WITH_TIMEOUT(p.basic_player().get_state(), libvlc_Ended, 10000);
    sink.close();
    QCOMPARE(sink.cleanups.load(), sink.formats.load());
    p.close();
}

void tst_VlcVmem::openAndCloseRules()
{
    // The calls each open and close make are checked in tst_vlcdouble.
    picture_sink sink;
    vlc::player closed;
    QVERIFY(!sink.open(&closed.basic_player()));
    QVERIFY(!sink.open(nullptr));

    vlc::player p;
    QVERIFY(p.open(m_instance));
    QVERIFY(sink.open(&p.basic_player()));
    QVERIFY(start(p, colour_clip("blue", 320, 192, 30)));
    QTRY_VERIFY_WITH_TIMEOUT(sink.frames.load() >= 3, 10000);

    // Opening on a player that holds nothing unbinds, which stops playback.
    QVERIFY(!sink.open(&closed.basic_player()));
    QVERIFY(!sink.is_open());
    QCOMPARE(p.basic_player().get_state(), libvlc_Stopped);
    QCOMPARE(sink.cleanups.load(), sink.formats.load());
}

void tst_VlcVmem::bindingOutlivesTheCoresPlayer()
{
    vlc::player p, other;
    picture_sink sink;
    QVERIFY(p.open(m_instance));
    QVERIFY(other.open(m_instance));
    QVERIFY(sink.open(&p.basic_player()));
    QVERIFY(start(p, colour_clip("blue", 320, 192, 30)));
    QTRY_VERIFY_WITH_TIMEOUT(sink.frames.load() >= 1, 10000);

    // The libvlc player moves to another core, then that core lets it go:
    // the binding's own reference keeps it decoding into the sink.
    p.swap(&other);
    other.close();
    const int frames = sink.frames.load();
    QTRY_VERIFY_WITH_TIMEOUT(sink.frames.load() >= frames + 3, 10000);
}

QTEST_GUILESS_MAIN(tst_VlcVmem)
#include "tst_vlcvmem.moc"
