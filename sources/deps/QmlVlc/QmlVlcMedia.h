#pragma once

#include <QObject>
#include <QString>

#include "vlc_media.h"

class QmlVlcPlayerProxy;

// Describes one media to QML (type VlcMediaDesc).
class QmlVlcMedia : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString mrl READ get_mrl)
    Q_PROPERTY(QString title READ get_title NOTIFY titleChanged)

public:
    QString get_mrl() const;
    QString get_title() const;

signals:
    void titleChanged();

protected:
    virtual vlc::media get_media() const = 0;
};

// The media the player is playing now.
class QmlVlcCurrentMedia : public QmlVlcMedia {
    Q_OBJECT

public:
    explicit QmlVlcCurrentMedia(QmlVlcPlayerProxy* owner)
        : m_owner(owner)
    {
    }

protected:
    vlc::media get_media() const override;

private:
    QmlVlcPlayerProxy* m_owner;
};
