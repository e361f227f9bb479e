// SPDX-License-Identifier: GPL-2.0-or-later
import QtQuick 2.7
import QtQuick.Controls 1.4
import "js/transitions.js" as Transitions

// How the stack view animates a change of composition: each change takes the
// parts the schedule gives it (js/transitions.js chooses and reads them), and
// the leaving item is put back as it was once it is out of sight. The scene
// binds where its sequence stands. GUI thread, owned by the stack view.
StackViewDelegate {
    id: delegate

    // Where the sequence stands once the change is under way.
    property var sequence: null
    property int index: 0
    property var previousSequence: null
    property int previousIndex: 0
    // Whose sizes "from" and "to" expressions may name, taken when a change starts.
    property var window: null
    property Item view: null
    // While the scene is being reset no change is finished here.
    property bool resetting: false

    property bool transitioning: false
    property bool transitioningFinished: false
    property var enterParam: Transitions.noAnimation
    property var exitParam: Transitions.noAnimation
    // Set by a step back: the next change replays, reversed, the one that
    // brought the leaving composition, whose enter part is kept here.
    property bool backward: false
    property var backwardExitTransition: null

    // A debug line for the scene's output.
    signal log(string line)

    property Component transition: StackViewTransition {
        id: change
        PropertyAnimation {
            target: delegate.enterParam.animate ? change.enterItem : null
            property: delegate.enterParam.property
            from: delegate.enterParam.from
            to: delegate.enterParam.to
            duration: delegate.enterParam.duration
        }
        PropertyAnimation {
            target: delegate.exitParam.animate ? change.exitItem : null
            property: delegate.exitParam.property
            from: delegate.exitParam.from
            to: delegate.exitParam.to
            duration: delegate.exitParam.duration
        }
    }

    // Called before the sequence steps back from where it stands.
    function stepBack() {
        backwardExitTransition = Transitions.enterPart(sequence, index, previousSequence);
        backward = true;
    }

    function getTransition(properties) {
        transitioning = true;
        var enterPart = backward ? Transitions.reversedEnterPart(sequence, index)
            : Transitions.enterPart(sequence, index, previousSequence);
        var exitPart = backward ? Transitions.reversedExitPart(backwardExitTransition)
            : Transitions.exitPart(previousSequence, previousIndex);
        backward = false;
        backwardExitTransition = null;
        var sizes = Transitions.scope(window, view);
        var write = function (line) { delegate.log(line); };
        enterParam = Transitions.parameters(enterPart, sizes, "enter", write);
        exitParam = Transitions.parameters(exitPart, sizes, "exit", write);
        return transition;
    }

    // A leaving video stops only now, out of sight, as stopping it in libvlc is slow.
    function transitionFinished(properties) {
        if (resetting || transitioningFinished)
            return;
        transitioningFinished = true;
        var leaving = properties.exitItem;
        if (leaving) {
            if (typeof leaving.stopVideo === "function")
                leaving.stopVideo();
            leaving.opacity = 1;
            leaving.rotation = 0;
            leaving.x = 0;
            leaving.y = 0;
        }
        transitioningFinished = false;
        transitioning = false;
    }
}
