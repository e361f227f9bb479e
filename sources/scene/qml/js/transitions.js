.pragma library
// SPDX-License-Identifier: GPL-2.0-or-later
.import "functions.js" as Functions
.import "expression.js" as Expression

// The animations of a change between two compositions, from the schedule's
// transition parts. Pure: the scene passes what it knows (sequences, indexes,
// sizes, a log callback) and applies what comes back on the GUI thread.

var noAnimation = { animate: false, property: "", from: 0, to: 0, duration: 0 };

// The sizes a "from" or "to" expression may name, taken when the change starts
// so that a value written against the window follows the window as it is then.
function scope(window, stack) {
    return {
        width: window.width,
        height: window.height,
        mainWindow: { width: window.width, height: window.height },
        stack: { width: stack.width, height: stack.height }
    };
}

function evaluateValue(value, sizes) {
    var result = Expression.evaluate(value, sizes);
    return (typeof result === "number" && isFinite(result)) ? result : undefined;
}

// A part that cannot be read animates nothing; the other part of the change
// still runs. name is "enter" or "exit", for the debug line.
function parameters(part, sizes, name, log) {
    if (!Functions.isObject(part)) {
        log("FUNCTION - getTransition - no " + name + " transition, not animated");
        return noAnimation;
    }
    if (typeof part.property !== "string" || part.property === "") {
        log("FUNCTION - getTransition - " + name + " transition without property, not animated");
        return noAnimation;
    }
    var duration = Number(part.duration);
    if (part.duration === null || part.duration === undefined || !isFinite(duration) || duration < 0) {
        log("FUNCTION - getTransition - " + name + " transition without a valid duration, not animated");
        return noAnimation;
    }
    var from = evaluateValue(part.from, sizes);
    var to = evaluateValue(part.to, sizes);
    if (from === undefined || to === undefined) {
        log("FUNCTION - getTransition - " + name + " transition rejected: from " + JSON.stringify(part.from)
            + " to " + JSON.stringify(part.to) + ", not animated");
        return noAnimation;
    }
    return { animate: true, property: part.property, from: from, to: to, duration: duration };
}

// Going forward, the composition coming in enters with its own part; across
// sequences, with the first element's part of the sequence that was left.
function enterPart(current, index, previous) {
    if (current !== previous)
        return Functions.transitionPart(Functions.elementsOf(previous)[0], previous, "enter");
    return Functions.transitionPart(Functions.elementsOf(current)[index], current, "enter");
}

function exitPart(previous, previousIndex) {
    return Functions.transitionPart(Functions.elementsOf(previous)[previousIndex], previous, "exit");
}

// Going back replays the change that brought the leaving composition, reversed:
// the one coming back enters with its own exit part turned around, the leaving
// one exits with the enter part it came with (enterPart() taken before the step
// back) turned around. The document's parts are copied, never changed.
function reversedEnterPart(current, index) {
    return Functions.reverseTransitionPart(Functions.copyTransitionPart(
        Functions.transitionPart(Functions.elementsOf(current)[index], current, "exit")));
}

function reversedExitPart(enteredWith) {
    return Functions.reverseTransitionPart(Functions.copyTransitionPart(enteredWith));
}
