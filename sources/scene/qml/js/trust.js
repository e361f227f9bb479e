.pragma library
// SPDX-License-Identifier: GPL-2.0-or-later

// Where a web page may go, depending on where it came from. Anyone on the LAN can
// point the player at a server of their own (a sync datagram): a page from the
// network never reaches into the machine's files. What a schedule document may
// make the screen load is settled before the scene sees it (ScheduleDocument).

// The lower-case scheme of an address, "" when it has none (a relative path).
function schemeOf(text) {
    var match = /^([A-Za-z][A-Za-z0-9+.\-]*):/.exec(("" + text).trim());
    return match ? match[1].toLowerCase() : "";
}

// Whether a web page showing `pageAddress` may navigate to `target`: a page that
// came from the network never reaches into the machine's files.
function navigationAllowed(pageAddress, target) {
    var scheme = schemeOf(target);
    return schemeOf(pageAddress) === "file" || (scheme !== "file" && scheme !== "filesystem");
}
