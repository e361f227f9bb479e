.pragma library

// What a schedule may make the screen load, depending on where the schedule came
// from. Anyone on the LAN can point the player at a server of their own (a sync
// datagram), so a document fetched over the network is only trusted with network
// addresses; a document read from this machine's own disk may name anything.

var networkSchemes = ["http", "https", "rtsp", "rtsps", "udp", "rtp"];

// The lower-case scheme of an address, "" when it has none (a relative path).
function schemeOf(text) {
    var match = /^([A-Za-z][A-Za-z0-9+.\-]*):/.exec(("" + text).trim());
    return match ? match[1].toLowerCase() : "";
}

// Only a schedule read from a file is local: --json and the localhost rule both
// hand the scene a file: address, everything else is fetched from a server.
function isLocalDocument(documentAddress) {
    return schemeOf(documentAddress) === "file";
}

// The scheme of the address an element's item will really load: images and
// videos turn "/" paths into addresses on the signage server.
function loadedScheme(element) {
    var source = "" + element.attributes.source;
    if ((element.type === "Image" || element.type === "Video") && source.charAt(0) === "/")
        return "http";
    return schemeOf(source);
}

// The reason an element may not play from a network document, "" when it may.
function refusal(element) {
    var source = element.attributes.source;
    if (source === undefined || source === null)
        return ""; // the item shows only its background
    var scheme = loadedScheme(element);
    if (networkSchemes.indexOf(scheme) >= 0)
        return "";
    return (scheme === "" ? "no scheme" : "scheme \"" + scheme + "\"") + " in a schedule from the network: "
        + element.type + " " + JSON.stringify(source);
}

// Drops, in place, every element of a network document whose source is not a
// network address; `log` gets one line per drop. Local documents keep everything.
function dropLocalSources(sequences, documentAddress, log) {
    if (isLocalDocument(documentAddress))
        return;
    for (var i = 0; i < sequences.length; ++i) {
        var sequence = sequences[i].sequence;
        var kept = [];
        for (var j = 0; j < sequence.elements.length; ++j) {
            var reason = refusal(sequence.elements[j]);
            if (reason === "")
                kept.push(sequence.elements[j]);
            else
                log("FUNCTION - dropLocalSources - sequence " + i + " element " + j + " skipped: " + reason);
        }
        if (kept.length !== sequence.elements.length)
            sequence.elements = kept;
    }
}

// A value for a query string: everything that could end or split it is
// percent-encoded. Spaces stay readable in debug lines; the URL parser encodes
// them as the request goes out.
function queryValue(value) {
    var text = "" + value;
    try {
        return encodeURIComponent(text).replace(/%20/g, " ");
    } catch (e) {
        // A lone surrogate from a JSON escape has no UTF-8 form.
        return encodeURIComponent(text.replace(/[\uD800-\uDFFF]/g, "\uFFFD")).replace(/%20/g, " ");
    }
}

function scheduleAddress(hostPort, scheduleUID) {
    return "http://" + hostPort + "/ws/stream.php?action=getSchedule&schedule_uid=" + queryValue(scheduleUID)
        + "&standalone=0";
}

// Whether a web page showing `pageAddress` may navigate to `target`: a page that
// came from the network never reaches into the machine's files.
function navigationAllowed(pageAddress, target) {
    var scheme = schemeOf(target);
    return schemeOf(pageAddress) === "file" || (scheme !== "file" && scheme !== "filesystem");
}
