// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlcPlayerProxy.h"

#include <QCoreApplication>
#include <QUrl>

#include "QmlVlcVideoOutput.h"
#include "vlc_helpers.h"

QmlVlcPlayerProxy::QmlVlcPlayerProxy(const std::shared_ptr<vlc::playlist_player_core>& player, QObject* parent)
    : QmlVlcVideoSource(player, parent)
    , m_player(player)
    , m_audio(*player)
    , m_input(*player)
    , m_playlist(this)
    , m_subtitle(*player)
    , m_video(player.get())
    , m_currentMedia(this)
{
    qRegisterMetaType<QmlVlcPlayerProxy::State>("QmlVlcPlayerProxy::State");

    m_errorTimer.setInterval(1000);
    m_errorTimer.setSingleShot(true);

    // Made before any QML handler exists, so these run first: the playlist has
    // already moved on when QML hears of the end of an item. An item that
    // fails is skipped one second later unless a new media came in between.
    connect(this, &QmlVlcPlayerProxy::mediaPlayerEncounteredError, &m_errorTimer, QOverload<>::of(&QTimer::start));
    connect(&m_errorTimer, &QTimer::timeout, this, &QmlVlcPlayerProxy::currentItemEndReached);
    connect(this, &QmlVlcPlayerProxy::mediaPlayerEndReached, &m_errorTimer, &QTimer::stop);
    connect(this, &QmlVlcPlayerProxy::mediaPlayerEndReached, this, &QmlVlcPlayerProxy::currentItemEndReached);
    connect(this, &QmlVlcPlayerProxy::mediaPlayerMediaChanged, &m_errorTimer, &QTimer::stop);
    connect(this, &QmlVlcPlayerProxy::mediaPlayerMediaChanged, &m_subtitle, &QmlVlcSubtitle::eraseLoaded);
    connect(&m_audio, &QmlVlcAudio::volumeChanged, this, &QmlVlcPlayerProxy::volumeChanged);

    // A cue that cannot reach its first picture gives the sound back at once.
    connect(this, &QmlVlcPlayerProxy::mediaPlayerEncounteredError, this, &QmlVlcPlayerProxy::endCue);
    connect(this, &QmlVlcPlayerProxy::mediaPlayerEndReached, this, &QmlVlcPlayerProxy::endCue);
    connect(videoOutput(), &QmlVlcVideoOutput::framePresented, this, &QmlVlcPlayerProxy::framePresented);
    connect(videoOutput(), &QmlVlcVideoOutput::decoderChanged, this, &QmlVlcPlayerProxy::decoderChanged);
}

QString QmlVlcPlayerProxy::get_decoder() const { return videoOutput()->decoder(); }

QmlVlcPlayerProxy::~QmlVlcPlayerProxy() { classEnd(); }

vlc::playlist_player_core& QmlVlcPlayerProxy::player() const
{
    VLC_CONTRACT(m_player);
    return *m_player;
}

void QmlVlcPlayerProxy::classBegin()
{
    player().register_callback(&m_eventRelay);
    m_listening = true;
    // Without a libvlc player (no instance could be made) there is nothing to
    // bind the video to; the object stays a closed player that refuses media.
    if (player().is_open())
        QmlVlcVideoSource::classBegin();
}

void QmlVlcPlayerProxy::componentComplete() { }

void QmlVlcPlayerProxy::classEnd()
{
    if (m_player && m_listening) {
        m_player->unregister_callback(&m_eventRelay);
        m_listening = false;
    }
}

// libvlc's event thread: copy the event and nothing else.
void QmlVlcPlayerProxy::media_player_event(const libvlc_event_t* e)
{
    QCoreApplication::postEvent(this, new LibvlcEvent(*e), Qt::NormalEventPriority);
}

bool QmlVlcPlayerProxy::event(QEvent* ev)
{
    if (ev->type() == LibvlcEvent::eventType) {
        handleLibvlcEvent(*static_cast<LibvlcEvent*>(ev));
        return true;
    }
    return QmlVlcVideoSource::event(ev);
}

void QmlVlcPlayerProxy::handleLibvlcEvent(const LibvlcEvent& ev)
{
    const libvlc_event_t& e = ev.libvlcEvent();
    switch (e.type) {
    case libvlc_MediaPlayerMediaChanged:
        emit mediaPlayerMediaChanged();
        emit m_playlist.currentItemChanged();
        break;
    case libvlc_MediaPlayerNothingSpecial:
        emit mediaPlayerNothingSpecial();
        emit stateChanged(NothingSpecial);
        break;
    case libvlc_MediaPlayerOpening:
        emit mediaPlayerOpening();
        emit stateChanged(Opening);
        break;
    case libvlc_MediaPlayerBuffering:
        emit mediaPlayerBuffering(e.u.media_player_buffering.new_cache);
        emit stateChanged(Buffering);
        break;
    case libvlc_MediaPlayerPlaying:
        emit mediaPlayerPlaying();
        emit stateChanged(Playing);
        emit playingChanged();
        break;
    case libvlc_MediaPlayerPaused:
        emit mediaPlayerPaused();
        emit stateChanged(Paused);
        emit playingChanged();
        break;
    case libvlc_MediaPlayerStopped:
        emit mediaPlayerStopped();
        emit stateChanged(Stopped);
        emit playingChanged();
        break;
    case libvlc_MediaPlayerForward:
        emit mediaPlayerForward();
        break;
    case libvlc_MediaPlayerBackward:
        emit mediaPlayerBackward();
        break;
    case libvlc_MediaPlayerEndReached:
        emit mediaPlayerEndReached();
        emit stateChanged(Ended);
        emit playingChanged();
        break;
    case libvlc_MediaPlayerEncounteredError:
        emit mediaPlayerEncounteredError();
        emit stateChanged(Error);
        emit playingChanged();
        break;
    case libvlc_MediaPlayerTimeChanged:
        emit mediaPlayerTimeChanged(double(e.u.media_player_time_changed.new_time));
        break;
    case libvlc_MediaPlayerPositionChanged:
        emit mediaPlayerPositionChanged(e.u.media_player_position_changed.new_position);
        break;
    case libvlc_MediaPlayerSeekableChanged:
        emit mediaPlayerSeekableChanged(e.u.media_player_seekable_changed.new_seekable != 0);
        break;
    case libvlc_MediaPlayerPausableChanged:
        emit mediaPlayerPausableChanged(e.u.media_player_pausable_changed.new_pausable != 0);
        break;
    case libvlc_MediaPlayerTitleChanged:
        emit mediaPlayerTitleChanged();
        emit m_currentMedia.titleChanged();
        break;
    case libvlc_MediaPlayerLengthChanged:
        emit mediaPlayerLengthChanged(double(e.u.media_player_length_changed.new_length));
        break;
    default:
        break;
    }
}

void QmlVlcPlayerProxy::currentItemEndReached()
{
    if (player().get_playback_mode() != vlc::mode_single)
        player().next();
}

QString QmlVlcPlayerProxy::get_vlcVersion() const { return QString::fromLatin1(libvlc_get_version()); }

bool QmlVlcPlayerProxy::get_playing() const { return player().basic_player().get_state() == libvlc_Playing; }

double QmlVlcPlayerProxy::get_length() const { return double(player().playback().get_length()); }

QmlVlcPlayerProxy::State QmlVlcPlayerProxy::get_state() const { return State(player().basic_player().get_state()); }

QString QmlVlcPlayerProxy::get_mrl() const
{
    const vlc::media m = player().basic_player().current_media();
    return m.empty() ? QString() : QString::fromUtf8(m.mrl().c_str());
}

double QmlVlcPlayerProxy::get_position() const { return player().playback().get_position(); }

void QmlVlcPlayerProxy::set_position(double position) { player().playback().set_position(float(position)); }

double QmlVlcPlayerProxy::get_time() const { return double(player().playback().get_time()); }

void QmlVlcPlayerProxy::set_time(double ms) { player().playback().set_time(int64_t(ms)); }

unsigned QmlVlcPlayerProxy::get_volume() const { return player().audio().get_volume(); }

void QmlVlcPlayerProxy::set_volume(unsigned volume) { player().audio().set_volume(volume); }

void QmlVlcPlayerProxy::play(const QString& mrl)
{
    endCue();
    open(mrl);
}

void QmlVlcPlayerProxy::cue(const QString& mrl)
{
    endCue();
    m_mutedBeforeCue = player().audio().is_muted();
    player().audio().set_mute(true);
    m_cue = Cue::Opening;
    open(mrl);
}

// GUI thread, after the output has handed the surfaces a frame.
void QmlVlcPlayerProxy::framePresented()
{
    const bool hasPicture = videoOutput()->hasPicture();
    if (hasPicture && m_cue == Cue::Opening) {
        // The pause lands a picture or two later. On a busy machine the first
        // picture shown may come well after the start, the pictures before it
        // dropped as late: going back to the start while paused shows the
        // start's own picture, and playback later begins there.
        player().pause();
        libvlc_media_player_t* mp = player().basic_player().get_mp();
        if (player().playback().get_time() > 0 && mp && libvlc_media_player_is_seekable(mp)) {
            player().playback().set_time(0);
            m_cue = Cue::Rewinding;
        } else {
            m_cue = Cue::Waiting;
            emit cuedChanged();
        }
    } else if (hasPicture && m_cue == Cue::Rewinding && player().playback().get_time() == 0) {
        m_cue = Cue::Waiting;
        emit cuedChanged();
    }
    if (hasPicture != m_hasPicture) {
        m_hasPicture = hasPicture;
        emit hasPictureChanged();
    }
}

void QmlVlcPlayerProxy::endCue()
{
    if (m_cue == Cue::None)
        return;
    const bool wasCued = m_cue == Cue::Waiting;
    m_cue = Cue::None;
    player().audio().set_mute(m_mutedBeforeCue);
    if (wasCued)
        emit cuedChanged();
}

void QmlVlcPlayerProxy::open(const QString& mrl)
{
    player().clear_items();
    // libvlc takes a bare absolute path for a location without an access
    // scheme and hands it to every access module in turn (some of which send
    // datagrams) instead of opening the file.
    const QByteArray location = mrl.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(mrl).toEncoded() : mrl.toUtf8();
    const int index = player().add_media(location.constData(), 0, nullptr, 0, nullptr, false);
    if (index >= 0)
        player().play(unsigned(index));
}

void QmlVlcPlayerProxy::play()
{
    endCue();
    player().play();
}

void QmlVlcPlayerProxy::pause() { player().pause(); }

void QmlVlcPlayerProxy::togglePause()
{
    endCue();
    player().togglePause();
}

void QmlVlcPlayerProxy::stop()
{
    endCue();
    player().stop();
}

void QmlVlcPlayerProxy::mute() { player().audio().set_mute(true); }

void QmlVlcPlayerProxy::unMute() { player().audio().set_mute(false); }

void QmlVlcPlayerProxy::toggleMute() { player().audio().toggle_mute(); }
