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

    property var looping: null

    function spy(target, signalName) {
        return createTemporaryObject(spyComponent, test, { target: target, signalName: signalName })
    }
    // A new player on one clip, playing it once.
    function playing(mrl) {
        var p = createTemporaryObject(playerComponent, test)
        p.playlist.mode = VlcPlaylist.Single
        p.mrl = mrl
        tryCompare(p, "state", VlcPlayer.Playing, 10000)
        return p
    }
    // One player that keeps playing the 20 s clip (two audio tracks, one
    // subtitle track) for the rows that only change settings.
    function shared() {
        if (!looping) {
            looping = playerComponent.createObject(test)
            looping.playlist.mode = VlcPlaylist.Loop
            looping.mrl = fixture.tracks
        }
        tryCompare(looping, "state", VlcPlayer.Playing, 10000)
        return looping
    }
    function newFiles(before) {
        return fixture.subtitleFiles().filter(function(f) { return before.indexOf(f) < 0 })
    }

    function test_tracks() {
        var p = shared()
        tryVerify(function() { return p.audio.count === 3 && p.subtitle.count >= 2 }, 5000)
        // Entry 0 of every list switches the kind off.
        compare(p.audio.description(0), "Disable")
        verify(p.audio.description(1).indexOf("low") >= 0, p.audio.description(1))
        verify(p.audio.description(2).indexOf("high") >= 0, p.audio.description(2))
        compare(p.audio.description(p.audio.count), "")
        compare(p.subtitle.description(0), "Disable")
        compare(p.subtitle.description(p.subtitle.count), "")
        compare(p.audio.track, 1)
        p.audio.track = 2
        compare(p.audio.track, 2)
        p.audio.track = -1
        compare(p.audio.track, 2)
        p.audio.track = 0 // off, which reads as no track
        compare(p.audio.track, -1)
        p.audio.track = 1
        compare([p.video.count, p.video.track], [2, 1])
        p.video.track = -1
        compare(p.video.track, 1)
        p.subtitle.track = 1
        compare(p.subtitle.track, 1)
        p.subtitle.track = -1
        compare(p.subtitle.track, 1)
        p.subtitle.track = 0
        compare(p.subtitle.track, -1)
    }

    function test_settings_data() {
        return [
            { tag: "logo position by name", obj: "logo", prop: "position", value: "top-right", expected: "top-right" },
            { tag: "logo centre is number 0", obj: "logo", prop: "position", value: "center", expected: "center" },
            { tag: "marquee names are case-sensitive", obj: "marquee", prop: "position", value: "Top", expected: "" },
            { tag: "marquee position", obj: "marquee", prop: "position", value: "bottom-left", expected: "bottom-left" },
            { tag: "unknown position name", obj: "marquee", prop: "position", value: "middle", expected: "" },
            { tag: "marquee text in UTF-8", obj: "marquee", prop: "text", value: "Grüße €", expected: "Grüße €" },
            { tag: "marquee x", obj: "marquee", prop: "x", value: 12, expected: 12 },
            { tag: "logo repeat", obj: "logo", prop: "repeat", value: -1, expected: -1 },
            { tag: "logo opacity", obj: "logo", prop: "opacity", value: 128, expected: 128 },
            { tag: "contrast", obj: "video", prop: "contrast", value: 1.5, expected: 1.5 },
            { tag: "brightness", obj: "video", prop: "brightness", value: 0.25, expected: 0.25 },
            { tag: "hue is whole degrees", obj: "video", prop: "hue", value: 90, expected: 90 },
            { tag: "saturation", obj: "video", prop: "saturation", value: 2, expected: 2 },
            { tag: "gamma", obj: "video", prop: "gamma", value: 0.5, expected: 0.5 },
            { tag: "aspect ratio", obj: "video", prop: "aspectRatio", value: "16:9", expected: "16:9" },
            { tag: "aspect ratio back to none", obj: "video", prop: "aspectRatio", value: "", expected: "" },
            { tag: "audio delay in ms", obj: "audio", prop: "delay", value: 250, expected: 250 },
            { tag: "subtitle delay in ms", obj: "subtitle", prop: "delay", value: -400, expected: -400 },
        ]
    }
    function test_settings(row) {
        var p = shared()
        var target = row.obj === "marquee" || row.obj === "logo" ? p.video[row.obj] : p[row.obj]
        target[row.prop] = row.value
        compare(target[row.prop], row.expected)
    }

    function test_audioSignals() {
        var p = shared()
        var mute = spy(p.audio, "muteChanged"), volume = spy(p.audio, "volumeChanged")
        var playerVolume = spy(p, "volumeChanged")
        p.audio.mute = true
        compare(mute.count, 1)
        tryCompare(p.audio, "mute", true)
        p.audio.toggleMute()
        compare(mute.count, 2)
        tryCompare(p.audio, "mute", false)
        p.audio.volume = 40
        compare([volume.count, playerVolume.count, mute.count], [1, 1, 2])
        tryCompare(p.audio, "volume", 40)
    }

    function test_input() {
        var fresh = createTemporaryObject(playerComponent, test)
        compare([fresh.video.width, fresh.video.height], [0, 0])
        compare([fresh.input.state, fresh.input.title, fresh.input.titleCount], [0, -1, 0])
        // Before any picture is out the size comes from the media's tracks.
        fresh.mrl = fixture.tracks
        compare([fresh.video.width, fresh.video.height], [320, 240])
        tryCompare(fresh.input, "hasVout", true, 10000)
        compare(fresh.input.state, VlcPlayer.Playing)
        compare([fresh.video.width, fresh.video.height], [320, 240])
        compare(fresh.input.fps, 25)
        fuzzyCompare(fresh.input.length, 20000, 100)
        fresh.input.time = 15000.9
        tryVerify(function() { return fresh.input.time >= 15000 }, 5000)
    }

    function test_playlist() {
        var p = createTemporaryObject(playerComponent, test)
        compare(p.playlist.mode, VlcPlaylist.Normal)
        p.playlist.mode = 3
        compare(p.playlist.mode, VlcPlaylist.Normal)
        compare(p.playlist.add(fixture.red), 0)
        compare(p.playlist.addWithOptions(fixture.blue, []), 1)
        compare(p.playlist.add(fixture.tracks), 2)
        compare([p.playlist.itemCount, p.playlist.items.length], [3, 3])

        var a = p.playlist.items[0], b = p.playlist.items[0]
        verify(a !== b)
        compare([a.mrl, b.mrl], [fixture.red, fixture.red])
        a.setting = "réglage"
        compare(b.setting, "réglage")
        p.playlist.items[1].disabled = true
        verify(p.playlist.items[1].disabled)
        verify(!a.disabled)
        p.playlist.items[1].disabled = false

        compare(p.playlist.add(p.playlist.items[1]), 3) // the same media again
        compare(p.playlist.add(null), -1)
        p.playlist.advanceItem(0, 2)
        var mrls = []
        for (var i = 0; i < p.playlist.items.length; ++i)
            mrls.push(p.playlist.items[i].mrl)
        compare(mrls, [fixture.blue, fixture.tracks, fixture.red, fixture.blue])
        compare(p.playlist.items[2].setting, "réglage") // travels with its item
        verify(p.playlist.removeItem(3))
        verify(!p.playlist.removeItem(3))

        var changed = spy(p.playlist, "currentItemChanged")
        verify(p.playlist.playItem(1))
        tryCompare(p.playlist, "isPlaying", true, 10000)
        compare(p.playlist.currentItem, 1)
        verify(changed.count >= 1)
        compare(p.mediaDescription.mrl, fixture.tracks)
        var title = spy(p.mediaDescription, "titleChanged")
        p.mediaDescription.title = "Bars"
        compare(title.count, 1)
        compare(p.playlist.items[1].title, "Bars")
        p.playlist.togglePause()
        tryCompare(p, "state", VlcPlayer.Paused)
        verify(!p.playlist.isPlaying)
        p.playlist.togglePause()
        tryCompare(p, "state", VlcPlayer.Playing)

        // Loop wraps from the last item to the first at its end.
        p.playlist.mode = VlcPlaylist.Loop
        verify(p.playlist.playItem(2))
        tryCompare(p.playlist, "currentItem", 0, 10000)
        compare(p.mediaDescription.mrl, fixture.blue)
        p.playlist.stop()
        tryCompare(p, "state", VlcPlayer.Stopped)

        p.playlist.clear()
        compare(p.playlist.itemCount, 0)
        compare([a.mrl, a.setting, a.disabled], [fixture.red, "", false]) // no longer listed
        p.destroy()
        wait(0)
        compare([a.mrl, a.title, a.setting, a.disabled], ["", "", "", false])
        a.setting = "x" // harmless once the player is gone
    }

    // Options the configuration does not trust reach libvlc untrusted, and
    // libvlc ignores those that could do harm, such as a forced demuxer.
    function test_options_data() {
        return [
            { tag: "trusted demuxer applies", clip: "red", options: [":demux=h264"], plays: false },
            { tag: "untrusted demuxer is ignored", clip: "red", options: [":demux=ts"], plays: true },
            { tag: "trusted beside untrusted", clip: "red", options: [":demux=ts", ":demux=h264"], plays: false },
            { tag: "trusted demuxer on its stream", clip: "rawH264", options: [":demux=h264"], plays: true },
        ]
    }
    function test_options(row) {
        var p = createTemporaryObject(playerComponent, test)
        p.playlist.mode = VlcPlaylist.Single
        var error = spy(p, "mediaPlayerEncounteredError"), ended = spy(p, "mediaPlayerEndReached")
        compare(p.playlist.addWithOptions(fixture[row.clip], row.options), 0)
        p.playlist.play()
        tryVerify(function() { return p.input.hasVout || error.count + ended.count > 0 }, 10000)
        compare(p.input.hasVout, row.plays)
    }

    function test_download_data() {
        return [
            { tag: "suffix kept", path: "movie.srt", name: /^[^/]+\/url-sub-\w{6}\.srt$/ },
            { tag: "encoded slashes and dots", path: "x.%2F..%2F..%2F..%2Fevil", name: /^[^/]+\/url-sub-\w{6}\.$/ },
            { tag: "backslashes", path: "x.%5C..%5C..%5Cevil", name: /^[^/]+\/url-sub-\w{6}\.$/ },
            { tag: "very long suffix", path: "x." + "s".repeat(300), name: /^[^/]+\/url-sub-\w{6}\.$/ },
            { tag: "over 1 MiB aborted and removed", path: "big.srt", name: null },
        ]
    }
    function test_download(row) {
        var p = playing(fixture.tracks)
        var finished = spy(p.subtitle, "loadFinished"), error = spy(p.subtitle, "loadError")
        p.subtitle.load(fixture.server + row.path)
        tryVerify(function() { return finished.count + error.count === 1 }, 10000)
        wait(200) // a second report would come now
        compare([finished.count, error.count], row.name ? [1, 0] : [0, 1])
        var files = fixture.subtitleFiles()
        compare(files.length, row.name ? 1 : 0)
        compare(fixture.filesNamed("url-sub-*"), files.length) // nothing outside the directory
        compare(fixture.filesNamed("evil"), 0)
        if (row.name) {
            verify(row.name.test(files[0]), files[0])
            tryVerify(function() { return p.subtitle.count === 3 }, 5000) // libvlc took it
        }
    }

    function test_fromString_data() {
        var vtt = "WEBVTT\n\n00:00.000 --> 00:05.000\nline\n"
        return [
            { tag: "vtt", text: vtt, type: VlcSubtitle.Vtt, suffix: ".vtt" },
            { tag: "microdvd", text: "{1}{100}line\n", type: VlcSubtitle.Microdvd, suffix: ".sub" },
            { tag: "dks", text: "[00:00:01]line\n", type: VlcSubtitle.Dks, suffix: ".dks" },
            { tag: "exactly 1 MiB", text: "x".repeat(1048576), type: VlcSubtitle.Subrip, suffix: ".srt" },
            { tag: "over 1 MiB", text: "x".repeat(1048577), type: VlcSubtitle.Subrip, suffix: null },
            { tag: "empty text", text: "", type: VlcSubtitle.Subrip, suffix: null },
            { tag: "type outside the enumeration", text: vtt, type: 7, suffix: null },
            { tag: "negative type", text: vtt, type: -1, suffix: null },
        ]
    }
    function test_fromString(row) {
        var p = shared()
        var before = fixture.subtitleFiles()
        compare(p.subtitle.loadFromString(row.text, row.type), row.suffix !== null)
        var added = newFiles(before)
        compare(added.length, row.suffix === null ? 0 : 1)
        if (row.suffix)
            verify(/\/str-sub-\w{6}\.\w+$/.test(added[0]) && added[0].endsWith(row.suffix), added[0])
    }

    // 30 downloads and texts per media; local files are used in place and not
    // counted, but refused once the limit is reached.
    function test_loadLimit() {
        var p = playing(fixture.tracks)
        var finished = spy(p.subtitle, "loadFinished"), error = spy(p.subtitle, "loadError")
        var before = fixture.subtitleFiles() // other players' files
        for (var i = 0; i < 3; ++i)
            p.subtitle.load(fixture.localSrt)
        compare(finished.count, 3)
        compare(newFiles(before), [])
        for (i = 0; i < 29; ++i)
            verify(p.subtitle.loadFromString("{1}{100}line " + i + "\n", VlcSubtitle.Microdvd))
        p.subtitle.load(fixture.server + "thirtieth.srt")
        tryCompare(finished, "count", 4, 5000)
        compare(newFiles(before).length, 30)
        p.subtitle.load(fixture.server + "more.srt")
        p.subtitle.load(fixture.localSrt)
        compare(error.count, 2)
        verify(!p.subtitle.loadFromString("{1}{100}more\n", VlcSubtitle.Microdvd))
        compare(newFiles(before).length, 30)

        // A change of media erases them all and starts counting again.
        p.mrl = fixture.tracks
        tryVerify(function() { return newFiles(before).length === 0 }, 5000)
        compare(fixture.subtitleFiles(), before)
        tryCompare(p, "state", VlcPlayer.Playing, 10000)
        verify(p.subtitle.loadFromString("{1}{100}again\n", VlcSubtitle.Microdvd))
        compare(newFiles(before).length, 1)
    }

    // List events arrive queued, so a handler may ask the list for its count.
    function test_mediaListPlayer() {
        var p = createTemporaryObject(listPlayerComponent, test)
        var list = [], counts = [], own = []
        function record(name) {
            return function(index) { list.push(name + " " + index); counts.push(p.playlist.itemCount) }
        }
        p.mediaListWillAddItem.connect(record("will-add"))
        p.mediaListItemAdded.connect(record("added"))
        p.mediaListWillDeleteItem.connect(record("will-delete"))
        p.mediaListItemDeleted.connect(record("deleted"))
        p.mediaListPlayerNextItemSet.connect(function() { own.push("next") })
        p.mediaListPlayerPlayed.connect(function() { own.push("played") })
        var playingSpy = spy(p, "mediaPlayerPlaying")

        p.mrl = fixture.tracks
        tryCompare(list, "length", 2)
        compare(list, ["will-add 0", "added 0"])
        tryCompare(playingSpy, "count", 1, 10000)
        p.mrl = fixture.red
        tryCompare(list, "length", 6)
        compare(list.slice(2), ["will-delete 0", "deleted 0", "will-add 0", "added 0"])
        compare(counts, [1, 1, 1, 1, 1, 1])
        tryCompare(playingSpy, "count", 2, 10000)
        compare(p.playlist.itemCount, 1)
        compare(p.mediaDescription.mrl, fixture.red)
        // The one-second clip ends the list.
        tryVerify(function() { return own.indexOf("played") >= 0 }, 10000, own.join(" "))
        compare(own.filter(function(e) { return e === "next" }).length, 2)
    }

    function cleanupTestCase() {
        if (looping)
            looping.destroy()
    }
}
