// The scene's QR encoder (qrc:/qrcode.js) in a QML engine. Symbols are read
// back by zbarimg; versions are checked against qrencode (byte mode) and the
// capacity table; the mask against the four penalty rules computed here.

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QJSValue>
#include <QProcess>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

const QStringList levels = { "L", "M", "Q", "H" };

struct Symbol {
    bool valid = false;
    int version = 0;
    int size = 0;
    int mask = -1;
    QString level;
    QByteArray modules; // size * size, '1' for dark

    bool dark(int x, int y) const { return modules.at(y * size + x) == '1'; }
};

// Printable ASCII that varies with the seed, so that symbols differ and every
// mask gets its turn. "]" is left out: the decoder's XML output wraps the data
// in CDATA sections.
QString sampleText(int length, int seed)
{
    static const QString alphabet = QStringLiteral(
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 -_.:/?=&%+!#$()*,;@[{}|~^'\"<>");
    QString s;
    s.reserve(length);
    quint32 state = 2166136261u ^ quint32(seed * 16777619u);
    for (int i = 0; i < length; ++i) {
        state = state * 1103515245u + 12345u;
        s += alphabet.at(int((state >> 16) % quint32(alphabet.size())));
    }
    return s;
}

// Penalty of a finished symbol under the four rules, computed independently
// of the encoder: runs of five or more (3 + extra length), 2x2 blocks (3),
// 1:1:3:1:1 patterns with four light modules on at least one side inside the
// symbol (40 each), and 10 per full 5 % that the dark share is off one half.
int penalty(const Symbol& s)
{
    int score = 0;
    auto lineScore = [&](auto cell) {
        int total = 0;
        int run = 1;
        for (int i = 1; i <= s.size; ++i) {
            if (i < s.size && cell(i) == cell(i - 1)) {
                ++run;
            } else {
                if (run >= 5)
                    total += run - 2;
                run = 1;
            }
        }
        const bool pattern[7] = { true, false, true, true, true, false, true };
        for (int i = 0; i + 7 <= s.size; ++i) {
            bool match = true;
            for (int k = 0; k < 7 && match; ++k)
                match = cell(i + k) == pattern[k];
            if (!match)
                continue;
            auto light = [&](int from) {
                if (from < 0 || from + 4 > s.size)
                    return false;
                for (int k = from; k < from + 4; ++k)
                    if (cell(k))
                        return false;
                return true;
            };
            if (light(i - 4) || light(i + 7))
                total += 40;
        }
        return total;
    };
    for (int y = 0; y < s.size; ++y)
        score += lineScore([&](int x) { return s.dark(x, y); });
    for (int x = 0; x < s.size; ++x)
        score += lineScore([&](int y) { return s.dark(x, y); });
    int darkCount = 0;
    for (int y = 0; y < s.size; ++y) {
        for (int x = 0; x < s.size; ++x) {
            darkCount += s.dark(x, y) ? 1 : 0;
            if (x + 1 < s.size && y + 1 < s.size && s.dark(x, y) == s.dark(x + 1, y)
                && s.dark(x, y) == s.dark(x, y + 1) && s.dark(x, y) == s.dark(x + 1, y + 1))
                score += 3;
        }
    }
    const double percent = darkCount * 100.0 / (s.size * s.size);
    score += int(std::abs(percent - 50) / 5) * 10;
    return score;
}

} // namespace

class tst_QRCode : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void levelNames_data();
    void levelNames();
    void versionChoice_data();
    void versionChoice();
    void tooLong();
    void decoded_data();
    void decoded();
    void nonAscii_data();
    void nonAscii();
    void maskChoice_data();
    void maskChoice();

private:
    Symbol encode(const QString& text, const QString& level, int mask = -1);
    int capacity(int version, const QString& level);
    static int qrencodeVersion(const QByteArray& data, const QString& level);
    QString writeImage(const Symbol& symbol, const QString& name);
    static QHash<QString, QByteArray> decodeFiles(const QStringList& files);

    QQmlEngine m_engine;
    QObject* m_probe = nullptr;
    QString m_dir;
    QHash<QString, QByteArray> m_decoded; // file -> decoded bytes
};

void tst_QRCode::initTestCase()
{
    QQmlComponent component(&m_engine);
    component.setData("import QtQml 2.2\n"
                      "import \"qrc:/qrcode.js\" as Encoder\n"
                      "QtObject {\n"
                      "    function encode(text, level, mask) {\n"
                      "        var s = mask < 0 ? Encoder.encode(text, level) : Encoder.encode(text, level, mask)\n"
                      "        if (s === null) return null\n"
                      "        var flat = ''\n"
                      "        for (var y = 0; y < s.size; ++y)\n"
                      "            for (var x = 0; x < s.size; ++x) flat += s.modules[y][x] ? '1' : '0'\n"
                      "        return { version: s.version, size: s.size, mask: s.mask, level: s.level, modules: flat }\n"
                      "    }\n"
                      "    function capacity(version, level) { return Encoder.capacity(version, level) }\n"
                      "}\n",
        QUrl(QStringLiteral("qrc:/qrprobe.qml")));
    m_probe = component.create();
    QVERIFY2(m_probe, qPrintable(component.errorString()));
    m_probe->setParent(this);

    const QByteArray tmp = qgetenv("PLAYER_TEST_TMP");
    m_dir = (tmp.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(tmp)) + QStringLiteral("/qr");
    QVERIFY(QDir().mkpath(m_dir));
}

Symbol tst_QRCode::encode(const QString& text, const QString& level, int mask)
{
    const QJSValue r = m_engine.newQObject(m_probe).property(QStringLiteral("encode")).call({ text, level, mask });
    Symbol s;
    if (!r.isObject())
        return s;
    s.valid = true;
    s.version = r.property(QStringLiteral("version")).toInt();
    s.size = r.property(QStringLiteral("size")).toInt();
    s.mask = r.property(QStringLiteral("mask")).toInt();
    s.level = r.property(QStringLiteral("level")).toString();
    s.modules = r.property(QStringLiteral("modules")).toString().toLatin1();
    return s;
}

int tst_QRCode::capacity(int version, const QString& level)
{
    return m_engine.newQObject(m_probe).property(QStringLiteral("capacity")).call({ version, level }).toInt();
}

// The version qrencode picks for these bytes in 8-bit mode, 0 when it fails.
int tst_QRCode::qrencodeVersion(const QByteArray& data, const QString& level)
{
    QProcess p;
    p.start(QStringLiteral("qrencode"), { "-8", "-l", level, "-m", "0", "-t", "ASCII", "-o", "-" });
    if (!p.waitForStarted(5000))
        return -1;
    p.write(data);
    p.closeWriteChannel();
    if (!p.waitForFinished(10000) || p.exitCode() != 0)
        return 0;
    const int rows = p.readAllStandardOutput().count('\n');
    return (rows - 17) / 4;
}

// A PNG of the symbol at 3 pixels per module with a 4-module quiet zone.
QString tst_QRCode::writeImage(const Symbol& s, const QString& name)
{
    const int scale = 3;
    const int quiet = 4;
    QImage image((s.size + 2 * quiet) * scale, (s.size + 2 * quiet) * scale, QImage::Format_Grayscale8);
    image.fill(255);
    for (int y = 0; y < s.size; ++y)
        for (int x = 0; x < s.size; ++x)
            if (s.dark(x, y))
                for (int dy = 0; dy < scale; ++dy)
                    memset(image.scanLine((y + quiet) * scale + dy) + (x + quiet) * scale, 0, scale);
    const QString file = m_dir + QLatin1Char('/') + name + QStringLiteral(".png");
    return image.save(file) ? file : QString();
}

// Decodes many files with few processes: two zbarimg runs in parallel, each
// given half of the files, reading its XML report.
QHash<QString, QByteArray> tst_QRCode::decodeFiles(const QStringList& files)
{
    QHash<QString, QByteArray> result;
    QList<QProcess*> runs;
    const int half = (files.size() + 1) / 2;
    for (int part = 0; part < 2; ++part) {
        const QStringList slice = files.mid(part * half, half);
        if (slice.isEmpty())
            continue;
        auto* p = new QProcess;
        p->setProcessChannelMode(QProcess::SeparateChannels);
        p->start(QStringLiteral("zbarimg"), QStringList { "--nodbus", "--xml", "-Sdisable", "-Sqrcode.enable" } + slice);
        runs << p;
    }
    for (QProcess* p : runs) {
        p->waitForFinished(100000);
        QXmlStreamReader xml(p->readAllStandardOutput());
        QString source;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == QLatin1String("source")) {
                source = xml.attributes().value(QStringLiteral("href")).toString();
            } else if (xml.isStartElement() && xml.name() == QLatin1String("data")) {
                const bool base64 = xml.attributes().value(QStringLiteral("format")) == QLatin1String("base64");
                const QString text = xml.readElementText();
                result.insert(source,
                    base64 ? QByteArray::fromBase64(text.trimmed().toLatin1()) : text.toUtf8());
            }
        }
        delete p;
    }
    return result;
}

void tst_QRCode::levelNames_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");
    QTest::addRow("lower-case m") << "m" << "M";
    QTest::addRow("Q") << "Q" << "Q";
    QTest::addRow("empty means L") << "" << "L";
    QTest::addRow("unknown means L") << "X" << "L";
}

// A level is named in either case; the matrices must match the canonical name's.
void tst_QRCode::levelNames()
{
    QFETCH(QString, given);
    QFETCH(QString, expected);
    const QString text = QStringLiteral("level check 0123456789");
    const Symbol a = encode(text, given);
    const Symbol b = encode(text, expected);
    QVERIFY(a.valid && b.valid);
    QCOMPARE(a.level, expected);
    QCOMPARE(a.version, b.version);
    QCOMPARE(a.modules, b.modules);
    if (expected != QLatin1String("L"))
        QVERIFY(a.modules != encode(text, QStringLiteral("L")).modules);
}

void tst_QRCode::versionChoice_data()
{
    QTest::addColumn<QString>("level");
    QTest::addColumn<int>("firstCapacity");
    QTest::addColumn<int>("lastCapacity");
    // Byte-mode capacities of versions 1 and 40 from the standard's table.
    QTest::addRow("level L") << "L" << 17 << 2953;
    QTest::addRow("level M") << "M" << 14 << 2331;
    QTest::addRow("level Q") << "Q" << 11 << 1663;
    QTest::addRow("level H") << "H" << 7 << 1273;
}

// For every version: a value exactly at its capacity gets that version, one
// byte more the next one, as with qrencode.
void tst_QRCode::versionChoice()
{
    QFETCH(QString, level);
    QFETCH(int, firstCapacity);
    QFETCH(int, lastCapacity);
    QCOMPARE(capacity(0, level), 0);
    QCOMPARE(capacity(41, level), 0);
    QCOMPARE(capacity(1, level), firstCapacity);
    QCOMPARE(capacity(40, level), lastCapacity);

    int previous = 0;
    for (int version = 1; version <= 40; ++version) {
        const int cap = capacity(version, level);
        QVERIFY2(cap > previous, qPrintable(QStringLiteral("version %1").arg(version)));
        previous = cap;

        // A fixed mask spares the mask search; the version is chosen before it.
        const QString atCapacity = sampleText(cap, version);
        const Symbol full = encode(atCapacity, level, 0);
        QVERIFY(full.valid);
        QCOMPARE(full.version, version);
        QCOMPARE(full.size, 17 + 4 * version);
        QCOMPARE(full.modules.size(), full.size * full.size);
        QCOMPARE(qrencodeVersion(atCapacity.toLatin1(), level), version);

        const QString over = atCapacity + QLatin1Char('x');
        const Symbol next = encode(over, level, 0);
        if (version < 40) {
            QVERIFY(next.valid);
            QCOMPARE(next.version, version + 1);
            QCOMPARE(qrencodeVersion(over.toLatin1(), level), version + 1);
        } else {
            QVERIFY(!next.valid);
        }
    }
}

// Far beyond version 40: no symbol, and no stall.
void tst_QRCode::tooLong()
{
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!encode(QString(200000, QLatin1Char('a')), QStringLiteral("L")).valid);
    QVERIFY(timer.elapsed() < 5000);
}

void tst_QRCode::decoded_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("mask");

    // Everything is rendered here and decoded once by decodeFiles; the rows compare.
    QStringList files;
    auto add = [&](const QString& name, const QString& text, const QString& level, int mask) {
        const Symbol s = encode(text, level, mask);
        QVERIFY2(s.valid, qPrintable(name));
        const QString file = writeImage(s, QStringLiteral("case%1").arg(files.size()));
        QVERIFY(!file.isEmpty());
        files << file;
        QTest::addRow("%s", qPrintable(name)) << file << text << (mask < 0 ? s.mask : mask);
        if (mask >= 0)
            QCOMPARE(s.mask, mask);
    };
    for (const QString& level : levels) {
        for (int version = 1; version <= 40; ++version)
            add(QStringLiteral("level %1, version %2 full").arg(level).arg(version),
                sampleText(capacity(version, level), version), level, -1);
        for (int version : { 1, 6, 9, 26, 39 })
            add(QStringLiteral("level %1, one byte over version %2").arg(level).arg(version),
                sampleText(capacity(version, level) + 1, version + 100), level, -1);
        add(QStringLiteral("level %1, a schedule identifier").arg(level),
            QStringLiteral("5f0c2a9e-8d41-4b7a-9c3e-2f6d1a0b7e55"), level, -1);
        add(QStringLiteral("level %1, one character").arg(level), QStringLiteral("7"), level, -1);
    }
    for (int mask = 0; mask < 8; ++mask) {
        add(QStringLiteral("mask %1 forced, version 1").arg(mask), QStringLiteral("MASK%1").arg(mask), "H", mask);
        add(QStringLiteral("mask %1 forced, version 8").arg(mask), sampleText(capacity(8, "M"), mask), "M", mask);
        add(QStringLiteral("mask %1 forced, version 40").arg(mask), sampleText(capacity(40, "Q") - mask, mask), "Q", mask);
    }
    m_decoded = decodeFiles(files);
}

void tst_QRCode::decoded()
{
    QFETCH(QString, file);
    QFETCH(QString, text);
    QVERIFY2(m_decoded.contains(file), "no symbol found");
    QCOMPARE(QString::fromUtf8(m_decoded.value(file)), text);
}

void tst_QRCode::nonAscii_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addRow("Latin-1 letters") << QString::fromUtf8("Café crème") << QByteArray("Caf\xc3\xa9 cr\xc3\xa8me");
    QTest::addRow("outside the BMP") << QString::fromUtf8("ok \xf0\x9f\x98\x80") << QByteArray("ok \xf0\x9f\x98\x80");
    QTest::addRow("unpaired surrogate") << (QStringLiteral("a") + QChar(0xd800) + QStringLiteral("b"))
                                        << QByteArray("a\xef\xbf\xbd" "b");
}

// Characters beyond ASCII are written as their UTF-8 bytes: the version is
// chosen by byte count and a reader gets the same bytes back.
void tst_QRCode::nonAscii()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    for (const QString& level : { QStringLiteral("L"), QStringLiteral("H") }) {
        const Symbol s = encode(text, level);
        QVERIFY(s.valid);
        QCOMPARE(s.version, qrencodeVersion(bytes, level));
        const QString file = writeImage(s, QStringLiteral("utf8-%1").arg(level));
        QProcess p;
        // Without -Sbinary the reader guesses a character set for short byte
        // strings (and takes "Café" for Shift JIS); the bytes are what count.
        p.start(QStringLiteral("zbarimg"), { "--nodbus", "--quiet", "--raw", "-Sbinary", file });
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 0);
        QByteArray out = p.readAllStandardOutput();
        if (out.endsWith('\n'))
            out.chop(1);
        QCOMPARE(out, bytes);
    }
    // Version 1 at level H holds seven bytes: three two-byte characters fit, four do not.
    QCOMPARE(encode(QString(3, QChar(0xe9)), QStringLiteral("H")).version, 1);
    QCOMPARE(encode(QString(4, QChar(0xe9)), QStringLiteral("H")).version, 2);
}

void tst_QRCode::maskChoice_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("level");
    QTest::addRow("identifier, level H") << "5f0c2a9e-8d41-4b7a-9c3e-2f6d1a0b7e55" << "H";
    QTest::addRow("version 7 with version information") << sampleText(capacity(7, "M"), 7) << "M";
    QTest::addRow("repetitive text") << QString(60, QLatin1Char('A')) << "Q";
    QTest::addRow("empty") << "" << "L";
    QTest::addRow("version 15") << sampleText(capacity(15, "H"), 15) << "H";
}

// The automatic choice is the mask with the lowest penalty (the first of equal
// ones), and the eight masks give eight different symbols of the same text.
void tst_QRCode::maskChoice()
{
    QFETCH(QString, text);
    QFETCH(QString, level);
    const Symbol chosen = encode(text, level);
    QVERIFY(chosen.valid);
    int best = -1;
    int bestScore = 0;
    QSet<QByteArray> distinct;
    for (int mask = 0; mask < 8; ++mask) {
        const Symbol s = encode(text, level, mask);
        QCOMPARE(s.version, chosen.version);
        distinct.insert(s.modules);
        const int score = penalty(s);
        if (best < 0 || score < bestScore) {
            best = mask;
            bestScore = score;
        }
    }
    QCOMPARE(distinct.size(), 8);
    QCOMPARE(chosen.mask, best);
    QCOMPARE(chosen.modules, encode(text, level, best).modules);
}

QTEST_GUILESS_MAIN(tst_QRCode)
#include "tst_qrcode.moc"
