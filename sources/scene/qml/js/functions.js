.pragma library
// SPDX-License-Identifier: GPL-2.0-or-later

var weekdayNames = ["Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"];

function pad2(n) {
    return n < 10 ? "0" + n : "" + n;
}

// The local weekday as the en_US locale spells it, whatever the system locale.
function weekdayName(date) {
    return weekdayNames[date.getDay()];
}

// "yyyy-MM-dd" in local time.
function dateText(date) {
    var year = "" + date.getFullYear();
    while (year.length < 4)
        year = "0" + year;
    return year + "-" + pad2(date.getMonth() + 1) + "-" + pad2(date.getDate());
}

// "HH:mm:ss" in local time, 24-hour.
function timeText(date) {
    return pad2(date.getHours()) + ":" + pad2(date.getMinutes()) + ":" + pad2(date.getSeconds());
}

// The prefix of every debug line: "dd/MM/yyyy hh:mm:ss" in local time.
function debugStamp(date) {
    return pad2(date.getDate()) + "/" + pad2(date.getMonth() + 1) + "/" + date.getFullYear() + " "
        + timeText(date);
}

function isObject(value) {
    return value !== null && typeof value === "object" && !Array.isArray(value);
}

// A missing or null bound never rejects; a present one is compared as a string.
function belowBound(text, bound) {
    return bound !== undefined && bound !== null && text < bound;
}

function aboveBound(text, bound) {
    return bound !== undefined && bound !== null && text > bound;
}

function atOrAboveBound(text, bound) {
    return bound !== undefined && bound !== null && text >= bound;
}

// Whether a sequence entry may play at the instant `now`. Entries without
// diffusion rules never play; missing dates or hours impose no limit.
function diffusionAllows(entry, now) {
    if (!isObject(entry) || !isObject(entry.diffusion))
        return false;
    var diffusion = entry.diffusion;
    var day = weekdayName(now);
    var weekdays = diffusion.weekdays;
    var dayValid = false;
    if (Array.isArray(weekdays)) {
        for (var i = 0; i < weekdays.length; ++i) {
            if (weekdays[i] === day || weekdays[i] === "All") {
                dayValid = true;
                break;
            }
        }
    }
    if (!dayValid)
        return false;

    var dates = isObject(diffusion.dates) ? diffusion.dates : {};
    var today = dateText(now);
    if (belowBound(today, dates.start_date) || aboveBound(today, dates.end_date))
        return false;

    var hours = isObject(diffusion.hours) ? diffusion.hours : {};
    var time = timeText(now);
    if (belowBound(time, hours.start_time) || atOrAboveBound(time, hours.end_time))
        return false;
    return true;
}

function elementsOf(entry) {
    if (!isObject(entry) || !isObject(entry.sequence) || !Array.isArray(entry.sequence.elements))
        return [];
    return entry.sequence.elements;
}

function globalPropertiesOf(entry) {
    if (!isObject(entry) || !isObject(entry.sequence) || !isObject(entry.sequence.global_properties))
        return {};
    return entry.sequence.global_properties;
}

// The element's own duration when it has one, else its sequence's default.
// May be undefined when neither is given.
function effectiveDuration(element, entry) {
    if (isObject(element) && element.duration !== undefined)
        return element.duration;
    return globalPropertiesOf(entry).duration;
}

// What a status datagram tells of an element (hueColor and fragrance only when it
// has them), with the members of `where` added.
function composition(element, entry, where) {
    if (!isObject(element))
        return null;
    var shown = { type: element.type, source: isObject(element.attributes) ? element.attributes.source : undefined,
                  duration: effectiveDuration(element, entry) };
    if (element.hueColor !== undefined && element.hueColor !== null)
        shown.hueColor = element.hueColor;
    if (element.fragrance !== undefined && element.fragrance !== null)
        shown.fragrance = "on";
    for (var key in where)
        shown[key] = where[key];
    return shown;
}

// What the advance timer takes for a duration: a number, 0 for anything else.
function timerInterval(duration) {
    var n = Number(duration);
    if (duration === null || duration === undefined || !isFinite(n) || n <= 0)
        return 0;
    return Math.min(n, 2147483647);
}

// One part ("enter" or "exit") of an element's transitions; the sequence's default
// part stands in when the element has no transitions or its transitions lack it.
function transitionPart(element, entry, name) {
    if (isObject(element) && isObject(element.transitions) && isObject(element.transitions[name]))
        return element.transitions[name];
    var defaults = globalPropertiesOf(entry).transitions;
    if (isObject(defaults) && isObject(defaults[name]))
        return defaults[name];
    return undefined;
}

function copyTransitionPart(part) {
    if (!isObject(part))
        return undefined;
    return { property: part.property, from: part.from, to: part.to, duration: part.duration };
}

function reverseTransitionPart(part) {
    if (!isObject(part))
        return undefined;
    var from = part.from;
    part.from = part.to;
    part.to = from;
    return part;
}

// The position of `entry` in `list`, by identity; -1 when absent.
function positionOf(list, entry) {
    for (var i = 0; i < list.length; ++i) {
        if (list[i] === entry)
            return i;
    }
    return -1;
}

// The first entry at or after `start` (walking forward, wrapping) that has
// elements; null when no entry has any.
function nextEntryWithElements(list, start) {
    var n = list.length;
    for (var step = 0; step < n; ++step) {
        var entry = list[(((start + step) % n) + n) % n];
        if (elementsOf(entry).length > 0)
            return entry;
    }
    return null;
}

// The same walking backward from `start`.
function previousEntryWithElements(list, start) {
    var n = list.length;
    for (var step = 0; step < n; ++step) {
        var entry = list[(((start - step) % n) + n) % n];
        if (elementsOf(entry).length > 0)
            return entry;
    }
    return null;
}

// The elements of every entry of the list, in order.
function allElements(list) {
    var all = [];
    for (var i = 0; i < list.length; ++i)
        all = all.concat(elementsOf(list[i]));
    return all;
}

function countElements(list) {
    var count = 0;
    for (var i = 0; i < list.length; ++i)
        count += elementsOf(list[i]).length;
    return count;
}

var fillModeNames = ["Stretch", "PreserveAspectFit", "PreserveAspectCrop", "Tile", "TileVertically",
    "TileHorizontally", "Pad"];

function isFillModeName(name) {
    return fillModeNames.indexOf(name) >= 0;
}

// A place in the list of sequences to play: the composition on screen (sequence,
// index) and the one shown before it (previousSequence, previousIndex), whose
// exit part animates the change. Entries without elements are never a place.
function place(sequence, index, previousSequence, previousIndex) {
    return { sequence: sequence, index: index, previousSequence: previousSequence, previousIndex: previousIndex };
}

function lastIndexOf(entry) {
    return elementsOf(entry).length - 1;
}

// The entry before `entry` in `list` that has elements, wrapping; from the last
// entry when `entry` is not (or no longer) in the list.
function entryBefore(list, entry) {
    var position = positionOf(list, entry);
    return previousEntryWithElements(list, position <= 0 ? list.length - 1 : position - 1);
}

// The start: the first element of the first entry with elements, after the last
// element of the entry before it. Null when nothing can play.
function firstPlace(list) {
    for (var k = 0; k < list.length; ++k) {
        if (elementsOf(list[k]).length > 0) {
            var before = previousEntryWithElements(list, k - 1);
            return place(list[k], 0, before, lastIndexOf(before));
        }
    }
    return null;
}

// One step forward. With nothing else allowed the sequence on screen starts over.
function nextPlace(list, sequence, index) {
    if (index + 1 < elementsOf(sequence).length)
        return place(sequence, index + 1, sequence, index);
    var next = nextEntryWithElements(list, positionOf(list, sequence) + 1);
    return place(next ? next : sequence, 0, sequence, index);
}

// One step back; the place before it becomes the "previous" one.
function previousPlace(list, sequence, index) {
    if (index - 1 < 0) {
        var before = entryBefore(list, sequence);
        if (before)
            sequence = before;
        index = lastIndexOf(sequence);
    } else {
        index = index - 1;
    }
    if (index - 1 >= 0)
        return place(sequence, index, sequence, index - 1);
    var earlier = entryBefore(list, sequence);
    var previous = earlier ? earlier : sequence;
    return place(sequence, index, previous, lastIndexOf(previous));
}

// The element built one step ahead of the place (sequence, i - 1).
function elementAfter(list, sequence, i) {
    var elements = elementsOf(sequence);
    if (i < elements.length)
        return elements[i];
    var next = nextEntryWithElements(list, positionOf(list, sequence) + 1);
    return next ? elementsOf(next)[0] : elements[0];
}

// The place to show at the next change: one step past `ahead` (the last place whose
// item was skipped, or the place on screen when `ahead` is null), with the place on
// screen (sequence, index) as the one that leaves.
function placeAfter(list, sequence, index, ahead) {
    var next = ahead ? nextPlace(list, ahead.sequence, ahead.index) : nextPlace(list, sequence, index);
    return place(next.sequence, next.index, sequence, index);
}

// After `skips` items skipped in a row out of `count` elements: 0 when the next one
// is tried at once, else how long to wait before it. Once a whole round has failed
// the screen keeps its last good composition and the elements are retried no faster
// than their own duration, a second at least (a video's duration is 0), so that a
// schedule of broken items never spins.
function skipDelay(skips, count, duration) {
    return skips < count ? 0 : Math.max(1000, timerInterval(duration));
}
