// SPDX-License-Identifier: GPL-2.0-or-later
#include "PlayLog.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

PlayLog::PlayLog(QObject* parent)
    : QObject(parent)
{
}

void PlayLog::configure(const QVariant& launchPath, const QString& settingsFile)
{
    QSettings settings(settingsFile, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("log"));
    QString path = settings.value(QStringLiteral("playLog")).toString();
    bool ok = false;
    const qint64 size = settings.value(QStringLiteral("maxSize")).toLongLong(&ok);
    m_maxSize = ok && size > 0 ? size : defaultMaxSize;
    settings.endGroup();

    if (launchPath.isValid())
        path = launchPath.toString();
    // Rotation renames the file, so it needs the path it started with even if the
    // working directory changes.
    m_path = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
}

QString PlayLog::isoTime(const QDateTime& time)
{
    const int offset = time.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + (offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

void PlayLog::shown(const QVariantMap& composition)
{
    if (!enabled())
        return;
    close(m_pending.isEmpty() ? QStringLiteral("duration") : m_pending);
    m_composition = composition;
    m_start = QDateTime::currentDateTime();
    m_pending.clear();
    m_open = true;
}

void PlayLog::leaving(const QString& how, bool failed)
{
    if (!m_open)
        return;
    if (failed)
        m_pending = QStringLiteral("error");
    else if (m_pending.isEmpty())
        m_pending = how;
}

void PlayLog::left(const QString& how, bool failed)
{
    if (!m_open)
        return;
    close(failed ? QStringLiteral("error") : how);
}

void PlayLog::skipped(const QVariantMap& composition, const QString& reason)
{
    if (!enabled())
        return;
    const QDateTime now = QDateTime::currentDateTime();
    QJsonObject record = this->record(composition, now, now, QStringLiteral("skipped"));
    record.insert(QStringLiteral("reason"), reason);
    write(QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n');
}

void PlayLog::close(const QString& how)
{
    if (!m_open)
        return;
    m_open = false;
    m_pending.clear();
    const QJsonObject line = record(m_composition, m_start, QDateTime::currentDateTime(), how);
    write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
}

QJsonObject PlayLog::record(
    const QVariantMap& composition, const QDateTime& start, const QDateTime& end, const QString& how)
{
    QJsonObject record;
    record.insert(QStringLiteral("start"), isoTime(start));
    record.insert(QStringLiteral("end"), isoTime(end));
    record.insert(QStringLiteral("shown_ms"), start.msecsTo(end));
    for (auto it = composition.constBegin(); it != composition.constEnd(); ++it)
        record.insert(it.key(), QJsonValue::fromVariant(it.value()));
    record.insert(QStringLiteral("ended"), how);
    return record;
}

bool PlayLog::write(const QByteArray& line)
{
    if (QFileInfo(m_path).size() + line.size() > m_maxSize && QFileInfo::exists(m_path))
        rotate();

    // Opened per line: a log rotated or deleted by someone else is recreated, and a
    // disk that was full may have room again.
    QFile file(m_path);
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        warnOnce(file.errorString());
        return false;
    }
    if (file.write(line) != line.size() || !file.flush()) {
        warnOnce(file.errorString());
        file.close();
        return false;
    }
    file.close();
    if (m_warned)
        qInfo().noquote() << "play log: writing to" << m_path << "again";
    m_warned = false;
    return true;
}

void PlayLog::rotate()
{
    QFile::remove(m_path + QLatin1Char('.') + QString::number(keptFiles));
    for (int i = keptFiles - 1; i >= 1; --i)
        QFile::rename(
            m_path + QLatin1Char('.') + QString::number(i), m_path + QLatin1Char('.') + QString::number(i + 1));
    QFile::rename(m_path, m_path + QStringLiteral(".1"));
}

void PlayLog::warnOnce(const QString& reason)
{
    if (m_warned)
        return;
    m_warned = true;
    qWarning().noquote() << "play log: cannot write" << m_path << "(" + reason + "); playback goes on without it";
}
