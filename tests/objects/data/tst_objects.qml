import QtQuick 2.7
import QtTest 1.2
import QmlVlc 0.1

// VlcPlayer's sub-objects against real libvlc. `fixture` (tst_objects.cpp)
// gives the clips, the loopback subtitle server and the subtitle files made.
TestCase {
    id: test
    name: "objects"
    when: windowShown

    Component { id: playerComponent; VlcPlayer {} }
    Component { id: listPlayerComponent; VlcMediaListPlayer {} }
    Component { id: spyComponent; SignalSpy {} }

    property var clips: fixture.clips
    property var looping: null

    function spy(target, name) { return createTemporaryObject(spyComponent, test, { target: target, signalName: name }) }
    // A new player; given an mrl, playing it.
    function player(mode, mrl) {
        var p = createTemporaryObject(playerComponent, test, mode === undefined ? {} : { "playlist.mode": mode })
        if (mrl) {
            p.mrl = mrl
            tryCompare(p, "state", VlcPlayer.Playing, 10000)
        }
        return p
    }
    // One player that keeps playing the 20 s clip, for rows that only change settings.
    function shared() {
        if (!looping)
            looping = playerComponent.createObject(test, { "playlist.mode": VlcPlaylist.Loop, mrl: clips.tracks })
        tryCompare(looping, "state", VlcPlayer.Playing, 10000)
        return looping
    }
    function subtitleFiles(besides) {
        return fixture.files("*-sub-*").filter(function(f) { return !besides || besides.indexOf(f) < 0 })
    }
    // Index 0 of each list turns the kind off, which then reads as -1.
    function test_tracks() {
        var p = shared()
        tryVerify(function() { return p.audio.count === 3 && p.subtitle.count >= 2 }, 5000)
        compare([p.audio.description(0), p.subtitle.description(0)], ["Disable", "Disable"])
        verify(/low/.test(p.audio.description(1)) && /high/.test(p.audio.description(2)), p.audio.description(1))
        compare([p.audio.description(3), p.subtitle.description(p.subtitle.count)], ["", ""])
        compare([p.video.count, p.video.track, p.audio.track], [2, 1, 1])
        var steps = [[p.audio, 2, 2], [p.audio, -1, 2], [p.audio, 0, -1], [p.audio, 1, 1],
                     [p.video, -1, 1], [p.subtitle, 1, 1], [p.subtitle, -1, 1], [p.subtitle, 0, -1]]
        for (var i = 0; i < steps.length; ++i) {
            steps[i][0].track = steps[i][1]
            compare(steps[i][0].track, steps[i][2], "step " + i)
        }
    }
    function test_settings_data() {
        return [
            { tag: "logo position by name", obj: "logo", prop: "position", value: "top-right", expected: "top-right" },
            { tag: "centre is number 0", obj: "logo", prop: "position", value: "center", expected: "center" },
            { tag: "names are case-sensitive", obj: "marquee", prop: "position", value: "Top", expected: "" },
            { tag: "marquee text in UTF-8", obj: "marquee", prop: "text", value: "Grüße €", expected: "Grüße €" },
            { tag: "logo repeat", obj: "logo", prop: "repeat", value: -1, expected: -1 },
            { tag: "hue in whole degrees", obj: "video", prop: "hue", value: 90, expected: 90 },
            { tag: "aspect ratio", obj: "video", prop: "aspectRatio", value: "16:9", expected: "16:9" },
            { tag: "audio delay in ms", obj: "audio", prop: "delay", value: 250, expected: 250 },
            { tag: "subtitle delay in ms", obj: "subtitle", prop: "delay", value: -400, expected: -400 },
        ]
    }
    function test_settings(row) {
        var p = shared(), target = row.obj === "marquee" || row.obj === "logo" ? p.video[row.obj] : p[row.obj]
        target[row.prop] = row.value
        compare(target[row.prop], row.expected)
    }
    function test_audioSignals() {
        var p = shared(), mute = spy(p.audio, "muteChanged"), volume = spy(p.audio, "volumeChanged"), pv = spy(p, "volumeChanged")
        p.audio.mute = true
        compare(mute.count, 1)
        tryCompare(p.audio, "mute", true)
        p.audio.toggleMute()
        tryCompare(p.audio, "mute", false)
        p.audio.volume = 40
        compare([mute.count, volume.count, pv.count], [2, 1, 1])
        tryCompare(p.audio, "volume", 40)
    }
    function test_videoSize() {
        var p = player(VlcPlaylist.Single)
        compare([p.video.width, p.video.height, p.input.title, p.input.titleCount], [0, 0, -1, 0])
        p.mrl = clips.tracks // before any picture is out, the size comes from the tracks
        compare([p.video.width, p.video.height], [320, 240])
        tryCompare(p.input, "hasVout", true, 10000)
        compare([p.video.width, p.video.height, p.input.state, p.input.fps], [320, 240, VlcPlayer.Playing, 25])
    }
    function test_playlist() {
        var p = player()
        p.playlist.mode = 3 // above Loop: ignored, the new player's Normal stays
        compare(p.playlist.mode, VlcPlaylist.Normal)
        compare([p.playlist.add(clips.blue), p.playlist.addWithOptions(clips.tracks, []), p.playlist.add(clips.red)],
                [0, 1, 2])
        var a = p.playlist.items[2], b = p.playlist.items[2]
        compare([a !== b, p.playlist.items.length, a.mrl, b.mrl], [true, 3, clips.red, clips.red])
        a.setting = "réglage"
        p.playlist.items[1].disabled = true
        compare([b.setting, p.playlist.items[1].disabled, a.disabled], ["réglage", true, false])
        p.playlist.items[1].disabled = false
        compare([p.playlist.add(p.playlist.items[1]), p.playlist.add(null)], [3, -1])
        compare([p.playlist.removeItem(3), p.playlist.removeItem(3), p.playlist.itemCount], [true, false, 3])

        var changed = spy(p.playlist, "currentItemChanged"), title = spy(p.mediaDescription, "titleChanged")
        verify(p.playlist.playItem(1))
        tryCompare(p.playlist, "isPlaying", true, 10000)
        compare([p.playlist.currentItem, p.mediaDescription.mrl, changed.count > 0], [1, clips.tracks, true])
        p.mediaDescription.title = "Bars"
        compare([title.count, p.playlist.items[1].title], [1, "Bars"])
        p.playlist.togglePause()
        tryCompare(p, "state", VlcPlayer.Paused)
        p.playlist.togglePause()
        tryCompare(p, "state", VlcPlayer.Playing)

        p.playlist.clear()
        compare([p.playlist.itemCount, a.mrl, a.setting, a.disabled], [0, clips.red, "", false])
        p.destroy()
        wait(0)
        a.setting = "x" // harmless once the player is gone
        compare([a.mrl, a.title, a.setting, a.disabled], ["", "", "", false])
    }
    // libvlc ignores an untrusted option that could do harm, such as a forced demuxer.
    function test_options_data() {
        return [
            { tag: "trusted demuxer applies", clip: "red", options: [":demux=h264"], plays: false },
            { tag: "untrusted demuxer is ignored", clip: "red", options: [":demux=ts"], plays: true },
        ]
    }
    function test_options(row) {
        var p = player(VlcPlaylist.Single)
        compare(p.playlist.addWithOptions(clips[row.clip], row.options), 0)
        p.playlist.play()
        tryVerify(function() { return p.input.hasVout || p.state >= VlcPlayer.Ended }, 10000)
        compare(p.input.hasVout, row.plays)
    }
    function test_download_data() {
        return [
            { tag: "suffix kept", path: "movie.srt", name: /^[^/.]+\/url-sub-\w{6}\.srt$/ },
            { tag: "encoded slashes and dots", path: "x.%2F..%2F..%2F..%2Fevil", name: /^[^/.]+\/url-sub-\w{6}\.$/ },
            { tag: "very long suffix", path: "x." + "s".repeat(300), name: /^[^/.]+\/url-sub-\w{6}\.$/ },
            { tag: "over 1 MiB aborted and removed", path: "big.srt", name: null },
        ]
    }
    function test_download(row) {
        var p = player(VlcPlaylist.Single, clips.tracks), finished = spy(p.subtitle, "loadFinished")
        var error = spy(p.subtitle, "loadError")
        p.subtitle.load(clips.server + row.path)
        tryVerify(function() { return finished.count + error.count === 1 }, 10000)
        wait(200) // a second report would come now
        compare([finished.count, error.count], row.name ? [1, 0] : [0, 1])
        var files = subtitleFiles()
        compare([files.length, fixture.files("*evil*").length], [row.name ? 1 : 0, 0])
        if (row.name) {
            verify(row.name.test(files[0]), files[0])
            tryCompare(p.subtitle, "count", 3, 5000) // libvlc took it
        }
    }
    function test_fromString_data() {
        var vtt = "WEBVTT\n\n00:00.000 --> 00:05.000\nline\n"
        return [
            { tag: "vtt", text: vtt, type: VlcSubtitle.Vtt, suffix: ".vtt" },
            { tag: "exactly 1 MiB", text: "x".repeat(1048576), type: VlcSubtitle.Subrip, suffix: ".srt" },
            { tag: "over 1 MiB", text: "x".repeat(1048577), type: VlcSubtitle.Subrip, suffix: null },
            { tag: "empty text", text: "", type: VlcSubtitle.Subrip, suffix: null },
            { tag: "type outside the enumeration", text: vtt, type: 7, suffix: null },
        ]
    }
    function test_fromString(row) {
        var p = shared(), before = subtitleFiles()
        compare(p.subtitle.loadFromString(row.text, row.type), row.suffix !== null)
        var added = subtitleFiles(before)
        compare(added.length, row.suffix === null ? 0 : 1)
        verify(!row.suffix || /^[^/.]+\/str-sub-\w{6}\.\w+$/.test(added[0]) && added[0].endsWith(row.suffix), added[0])
    }
    // 30 downloads and texts per media; local files are not counted, but are
    // refused too once the limit is reached. A change of media erases all.
    function test_loadLimit() {
        var p = player(VlcPlaylist.Single, clips.tracks)
        var finished = spy(p.subtitle, "loadFinished"), error = spy(p.subtitle, "loadError"), before = subtitleFiles()
        for (var i = 0; i < 3; ++i)
            p.subtitle.load(clips.srt)
        compare([finished.count, subtitleFiles(before).length], [3, 0])
        for (i = 0; i < 29; ++i)
            verify(p.subtitle.loadFromString("{1}{100}line " + i + "\n", VlcSubtitle.Microdvd))
        p.subtitle.load(clips.server + "thirtieth.srt")
        tryCompare(finished, "count", 4, 5000)
        p.subtitle.load(clips.server + "more.srt")
        p.subtitle.load(clips.srt)
        verify(!p.subtitle.loadFromString("{1}{100}more\n", VlcSubtitle.Microdvd))
        compare([error.count, subtitleFiles(before).length], [2, 30])
        p.mrl = clips.tracks
        tryVerify(function() { return subtitleFiles(before).length === 0 }, 5000)
        tryCompare(p, "state", VlcPlayer.Playing, 10000)
        verify(p.subtitle.loadFromString("{1}{100}again\n", VlcSubtitle.Microdvd))
        compare(subtitleFiles(before).length, 1)
    }
    // List events arrive queued, so a handler may ask the list for its count.
    function test_mediaListPlayer() {
        var p = createTemporaryObject(listPlayerComponent, test), list = [], counts = [], own = []
        function record(name) { return function(i) { list.push(name + " " + i); counts.push(p.playlist.itemCount) } }
        var names = { WillAddItem: "will-add", ItemAdded: "added", WillDeleteItem: "will-delete", ItemDeleted: "deleted" }
        for (var n in names)
            p["mediaList" + n].connect(record(names[n]))
        p.mediaListPlayerNextItemSet.connect(function() { own.push("next") })
        p.mediaListPlayerPlayed.connect(function() { own.push("played") })
        var playingSpy = spy(p, "mediaPlayerPlaying")
        p.mrl = clips.tracks
        tryCompare(playingSpy, "count", 1, 10000)
        compare(list, ["will-add 0", "added 0"])
        p.mrl = clips.red
        tryCompare(playingSpy, "count", 2, 10000)
        compare(list.slice(2), ["will-delete 0", "deleted 0", "will-add 0", "added 0"])
        compare([counts, p.playlist.itemCount, p.mediaDescription.mrl], [[1, 1, 1, 1, 1, 1], 1, clips.red])
        tryVerify(function() { return own.indexOf("played") >= 0 }, 10000, own.join(" ")) // the 1 s clip ends
        compare(own.filter(function(e) { return e === "next" }).length, 2)
    }
    function cleanupTestCase() { if (looping) looping.destroy() }
}
