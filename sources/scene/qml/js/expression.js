.pragma library
// SPDX-License-Identifier: GPL-2.0-or-later

// Evaluates the "from" and "to" values of a transition part.
//
// Schedule documents come from whatever server the player was last pointed at,
// and a sync datagram from anyone on the LAN can change that server. The values
// therefore never reach the JavaScript engine: they are tokenised and parsed
// here, and only arithmetic on numbers, the sizes of the window and the stack
// view, and a fixed set of Math functions and constants is understood.
//
// evaluate(value, scope) -> a finite number, or undefined when the value is
// anything else. scope: { width, height, mainWindow: { width, height },
// stack: { width, height } }; every member is optional and must be a number
// when an expression names it.

var maxLength = 1024;
var maxDepth = 32;

// Name tables without a prototype, so a lookup can only find what is listed
// here ("constructor", "__proto__" and friends are simply absent).
var constants = Object.create(null);
constants["Math.E"] = Math.E;
constants["Math.LN2"] = Math.LN2;
constants["Math.LN10"] = Math.LN10;
constants["Math.LOG2E"] = Math.LOG2E;
constants["Math.LOG10E"] = Math.LOG10E;
constants["Math.PI"] = Math.PI;
constants["Math.SQRT1_2"] = Math.SQRT1_2;
constants["Math.SQRT2"] = Math.SQRT2;

// Each function with the number of arguments it takes; -1: one or more.
var functions = Object.create(null);
function allow(name, fn, arity) {
    if (typeof fn === "function")
        functions["Math." + name] = { fn: fn, arity: arity };
}
allow("abs", Math.abs, 1);
allow("acos", Math.acos, 1);
allow("asin", Math.asin, 1);
allow("atan", Math.atan, 1);
allow("atan2", Math.atan2, 2);
allow("ceil", Math.ceil, 1);
allow("cos", Math.cos, 1);
allow("exp", Math.exp, 1);
allow("floor", Math.floor, 1);
allow("log", Math.log, 1);
allow("max", Math.max, -1);
allow("min", Math.min, -1);
allow("pow", Math.pow, 2);
allow("round", Math.round, 1);
allow("sin", Math.sin, 1);
allow("sqrt", Math.sqrt, 1);
allow("tan", Math.tan, 1);
allow("trunc", Math.trunc, 1);
allow("sign", Math.sign, 1);

var scopeNames = Object.create(null);
scopeNames["width"] = [null, "width"];
scopeNames["height"] = [null, "height"];
scopeNames["mainWindow.width"] = ["mainWindow", "width"];
scopeNames["mainWindow.height"] = ["mainWindow", "height"];
scopeNames["stack.width"] = ["stack", "width"];
scopeNames["stack.height"] = ["stack", "height"];

function isDigit(c) {
    return c >= "0" && c <= "9";
}

function isNameStart(c) {
    return (c >= "a" && c <= "z") || (c >= "A" && c <= "Z") || c === "_" || c === "$";
}

function isNamePart(c) {
    return isNameStart(c) || isDigit(c);
}

// Splits text into tokens { kind: "number" | "name" | "op", text, value }.
// Returns null at the first character that no token can hold.
function tokenise(text) {
    var tokens = [];
    var i = 0;
    var n = text.length;
    while (i < n) {
        var c = text.charAt(i);
        if (c === " " || c === "\t" || c === "\n" || c === "\r") {
            ++i;
        } else if (isDigit(c) || (c === "." && i + 1 < n && isDigit(text.charAt(i + 1)))) {
            var start = i;
            // A leading zero followed by digits would be octal to some engines.
            if (c === "0" && i + 1 < n && isDigit(text.charAt(i + 1)))
                return null;
            while (i < n && isDigit(text.charAt(i)))
                ++i;
            if (i < n && text.charAt(i) === ".") {
                ++i;
                while (i < n && isDigit(text.charAt(i)))
                    ++i;
            }
            if (i < n && (text.charAt(i) === "e" || text.charAt(i) === "E")) {
                ++i;
                if (i < n && (text.charAt(i) === "+" || text.charAt(i) === "-"))
                    ++i;
                if (i >= n || !isDigit(text.charAt(i)))
                    return null;
                while (i < n && isDigit(text.charAt(i)))
                    ++i;
            }
            // "1x", "1.2.3" and the like are not numbers.
            if (i < n && (isNamePart(text.charAt(i)) || text.charAt(i) === "."))
                return null;
            var lexeme = text.substring(start, i);
            tokens.push({ kind: "number", text: lexeme, value: Number(lexeme) });
        } else if (isNameStart(c)) {
            var first = i;
            while (i < n && isNamePart(text.charAt(i)))
                ++i;
            tokens.push({ kind: "name", text: text.substring(first, i) });
        } else if ((c === "+" || c === "-") && i + 1 < n && text.charAt(i + 1) === c) {
            // "++" and "--" are increments, not two signs.
            return null;
        } else if ("+-*/%(),.".indexOf(c) >= 0) {
            tokens.push({ kind: "op", text: c });
            ++i;
        } else {
            return null;
        }
    }
    return tokens;
}

// Recursive descent over the tokens. Every failure throws a Rejection, which
// evaluate() turns into undefined.
function Rejection(reason) {
    this.reason = reason;
}

function Parser(tokens, scope) {
    this.tokens = tokens;
    this.pos = 0;
    this.depth = 0;
    this.scope = scope;
}

Parser.prototype.peek = function () {
    return this.pos < this.tokens.length ? this.tokens[this.pos] : null;
};

Parser.prototype.isOp = function (text) {
    var t = this.peek();
    return t !== null && t.kind === "op" && t.text === text;
};

Parser.prototype.expect = function (text) {
    if (!this.isOp(text))
        throw new Rejection("expected " + text);
    ++this.pos;
};

Parser.prototype.enter = function () {
    if (++this.depth > maxDepth)
        throw new Rejection("nested too deeply");
};

Parser.prototype.leave = function () {
    --this.depth;
};

// expression := term (("+" | "-") term)*
Parser.prototype.expression = function () {
    var value = this.term();
    while (this.isOp("+") || this.isOp("-")) {
        var op = this.tokens[this.pos++].text;
        var rhs = this.term();
        value = op === "+" ? value + rhs : value - rhs;
    }
    return value;
};

// term := unary (("*" | "/" | "%") unary)*
Parser.prototype.term = function () {
    var value = this.unary();
    while (this.isOp("*") || this.isOp("/") || this.isOp("%")) {
        var op = this.tokens[this.pos++].text;
        var rhs = this.unary();
        if (op === "*")
            value = value * rhs;
        else if (op === "/")
            value = value / rhs;
        else
            value = value % rhs;
    }
    return value;
};

// unary := ("+" | "-") unary | primary
Parser.prototype.unary = function () {
    if (this.isOp("+") || this.isOp("-")) {
        var op = this.tokens[this.pos++].text;
        this.enter();
        var operand = this.unary();
        this.leave();
        return op === "-" ? -operand : operand;
    }
    return this.primary();
};

// primary := number | "(" expression ")" | name | name "(" arguments ")"
// name := identifier ("." identifier)?
Parser.prototype.primary = function () {
    var t = this.peek();
    if (t === null)
        throw new Rejection("unexpected end");
    if (t.kind === "number") {
        ++this.pos;
        return t.value;
    }
    if (t.kind === "op" && t.text === "(") {
        ++this.pos;
        this.enter();
        var inner = this.expression();
        this.leave();
        this.expect(")");
        return inner;
    }
    if (t.kind !== "name")
        throw new Rejection("unexpected " + t.text);

    ++this.pos;
    var name = t.text;
    if (this.isOp(".")) {
        ++this.pos;
        var member = this.peek();
        if (member === null || member.kind !== "name")
            throw new Rejection("expected a member name");
        ++this.pos;
        name += "." + member.text;
    }

    if (this.isOp("("))
        return this.call(name);
    if (name in constants)
        return constants[name];
    if (name in scopeNames)
        return this.lookUp(scopeNames[name]);
    throw new Rejection("unknown name " + name);
};

Parser.prototype.call = function (name) {
    if (!(name in functions))
        throw new Rejection("not a known function: " + name);
    var entry = functions[name];
    this.expect("(");
    this.enter();
    var args = [];
    if (!this.isOp(")")) {
        args.push(this.expression());
        while (this.isOp(",")) {
            ++this.pos;
            args.push(this.expression());
        }
    }
    this.leave();
    this.expect(")");
    if (entry.arity < 0 ? args.length < 1 : args.length !== entry.arity)
        throw new Rejection("wrong number of arguments for " + name);
    return entry.fn.apply(Math, args);
};

// Reads scope.width or scope.<object>.<member>, accepting only numbers.
Parser.prototype.lookUp = function (path) {
    var holder = this.scope;
    if (holder === null || typeof holder !== "object")
        throw new Rejection("no scope");
    if (path[0] !== null) {
        holder = holder[path[0]];
        if (holder === null || (typeof holder !== "object" && typeof holder !== "function"))
            throw new Rejection("no " + path[0] + " in scope");
    }
    var value = holder[path[1]];
    if (typeof value !== "number")
        throw new Rejection(path.join(".") + " is not a number");
    return value;
};

function evaluate(value, scope) {
    if (typeof value === "number")
        return isFinite(value) ? value : undefined;
    if (typeof value !== "string" || value.length > maxLength)
        return undefined;
    var tokens = tokenise(value);
    if (tokens === null || tokens.length === 0)
        return undefined;
    try {
        var parser = new Parser(tokens, scope);
        var result = parser.expression();
        if (parser.pos !== tokens.length)
            return undefined;
        return typeof result === "number" && isFinite(result) ? result : undefined;
    } catch (e) {
        // A Rejection, or a scope whose members throw when read: either way
        // the value cannot be used.
        return undefined;
    }
}
