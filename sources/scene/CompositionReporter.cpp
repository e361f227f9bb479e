// SPDX-License-Identifier: GPL-2.0-or-later
#include "CompositionReporter.h"

#include "PlayLog.h"

#include <QJSEngine>

CompositionReporter::CompositionReporter(PlayLog* log, QObject* parent)
    : QObject(parent)
    , m_log(log)
{
}

bool CompositionReporter::watch(QObject* scene)
{
    if (!scene || scene->metaObject()->indexOfSignal("compositionShown(QVariant)") < 0)
        return false;
    m_engine = qjsEngine(scene);
    connect(scene, SIGNAL(compositionShown(QVariant)), this, SLOT(shown(QVariant)));
    connect(scene, SIGNAL(compositionLeaving(QString, bool)), this, SLOT(leaving(QString, bool)));
    connect(scene, SIGNAL(compositionLeft(QString, bool)), this, SLOT(left(QString, bool)));
    if (scene->metaObject()->indexOfSignal("compositionSkipped(QVariant,QString)") >= 0)
        connect(scene, SIGNAL(compositionSkipped(QVariant, QString)), this, SLOT(skipped(QVariant, QString)));
    connect(scene, SIGNAL(compositionPaused()), this, SLOT(paused()));
    connect(scene, SIGNAL(compositionResumed()), this, SLOT(resumed()));
    return m_engine != nullptr;
}

void CompositionReporter::shown(const QVariant& composition)
{
    if (!m_engine)
        return;
    const QJSValue shown = scriptValue(composition);
    const QJSValue device = shown.property(QStringLiteral("device"));
    m_device = device.isUndefined() || device.isNull() ? QString() : device.toString();

    QJSValue infos = m_engine->newObject();
    for (const char* key : { "type", "source", "duration", "hueColor", "fragrance" }) {
        const QJSValue value = shown.property(QLatin1String(key));
        if (!value.isUndefined())
            infos.setProperty(QLatin1String(key), value);
    }
    send(QStringLiteral("player_composition_changed"), infos);

    if (m_log)
        m_log->shown(record(shown));
}

void CompositionReporter::skipped(const QVariant& composition, const QString& reason)
{
    if (m_engine && m_log)
        m_log->skipped(record(scriptValue(composition)), reason);
}

// A scene object arrives as it was built, so that values from the document
// (a hueColor object) keep their members' order in the datagram.
QJSValue CompositionReporter::scriptValue(const QVariant& composition) const
{
    return composition.userType() == qMetaTypeId<QJSValue>() ? composition.value<QJSValue>()
                                                             : m_engine->toScriptValue(composition);
}

// The play log's fields.
QVariantMap CompositionReporter::record(const QJSValue& composition)
{
    QVariantMap record;
    for (const char* key : { "schedule", "sequence", "element", "type", "source", "device" })
        record.insert(QLatin1String(key), composition.property(QLatin1String(key)).toVariant());
    return record;
}

void CompositionReporter::leaving(const QString& reason, bool failed)
{
    if (m_log)
        m_log->leaving(reason, failed);
}

void CompositionReporter::left(const QString& reason, bool failed)
{
    if (m_log)
        m_log->left(reason, failed);
}

void CompositionReporter::paused() { send(QStringLiteral("player_is_paused")); }

void CompositionReporter::resumed() { send(QStringLiteral("player_is_resumed")); }

// Built and written by the script engine, so that the text is exactly what the
// receivers have always parsed: members in this order, infos as the scene gave them.
void CompositionReporter::send(const QString& cmd, const QJSValue& infos)
{
    if (!m_engine)
        return;
    QJSValue datagram = m_engine->newObject();
    datagram.setProperty(QStringLiteral("cmd"), cmd);
    datagram.setProperty(QStringLiteral("id"), QStringLiteral("auto"));
    datagram.setProperty(QStringLiteral("device_id"), m_device);
    if (!infos.isUndefined())
        datagram.setProperty(QStringLiteral("infos"), infos);
    emit message(m_engine->globalObject()
                     .property(QStringLiteral("JSON"))
                     .property(QStringLiteral("stringify"))
                     .call({ datagram })
                     .toString());
}
