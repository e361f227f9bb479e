.pragma library
// SPDX-License-Identifier: GPL-2.0-or-later

// QR Code encoder (ISO/IEC 18004), 8-bit byte mode only, versions 1 to 40,
// error-correction levels L, M, Q and H.
//
// encode(text, level[, mask]) -> { version, size, level, mask, modules } or
// null when the text does not fit in a version 40 symbol at that level.
// modules[y][x] is true for a dark module; there is no quiet zone.
//
// Characters are written as their UTF-8 bytes, so plain ASCII takes one byte
// per character and anything else still reads back as the same text on a
// phone. The level is "L", "M", "Q" or "H" in either case; an empty or
// unknown level means L. mask (0 to 7) forces a mask pattern; without it the
// four penalty rules choose one.

var LEVELS = {
    // Index into the tables below, and the two format bits of the level.
    "L": { index: 0, bits: 1 },
    "M": { index: 1, bits: 0 },
    "Q": { index: 2, bits: 3 },
    "H": { index: 3, bits: 2 }
};

// Error-correction codewords per block, by level then version (index 0 unused).
var EC_CODEWORDS_PER_BLOCK = [
    [0, 7, 10, 15, 20, 26, 18, 20, 24, 30, 18, 20, 24, 26, 30, 22, 24, 28, 30, 28, 28,
        28, 28, 30, 30, 26, 28, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30],
    [0, 10, 16, 26, 18, 24, 16, 18, 22, 22, 26, 30, 22, 22, 24, 24, 28, 28, 26, 26, 26,
        26, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28],
    [0, 13, 22, 18, 26, 18, 24, 18, 22, 20, 24, 28, 26, 24, 20, 30, 24, 28, 28, 26, 30,
        28, 30, 30, 30, 30, 28, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30],
    [0, 17, 28, 22, 16, 22, 28, 26, 26, 24, 28, 24, 28, 22, 24, 24, 30, 28, 28, 26, 28,
        30, 24, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30]
];

// Number of error-correction blocks, by level then version (index 0 unused).
var EC_BLOCKS = [
    [0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 4, 4, 4, 4, 4, 6, 6, 6, 6, 7, 8,
        8, 9, 9, 10, 12, 12, 12, 13, 14, 15, 16, 17, 18, 19, 19, 20, 21, 22, 24, 25],
    [0, 1, 1, 1, 2, 2, 4, 4, 4, 5, 5, 5, 8, 9, 9, 10, 10, 11, 13, 14, 16,
        17, 17, 18, 20, 21, 23, 25, 26, 28, 29, 31, 33, 35, 37, 38, 40, 43, 45, 47, 49],
    [0, 1, 1, 2, 2, 4, 4, 6, 6, 8, 8, 8, 10, 12, 16, 12, 17, 16, 18, 21, 20,
        23, 23, 25, 27, 29, 34, 34, 35, 38, 40, 43, 45, 48, 51, 53, 56, 59, 62, 65, 68],
    [0, 1, 1, 2, 4, 4, 4, 5, 6, 8, 8, 11, 11, 16, 16, 18, 16, 19, 21, 25, 25,
        25, 34, 30, 32, 35, 37, 40, 42, 45, 48, 51, 54, 57, 60, 63, 66, 70, 74, 77, 81]
];

var MIN_VERSION = 1;
var MAX_VERSION = 40;

function levelOf(level) {
    var key = (level === undefined || level === null) ? "" : String(level).toUpperCase();
    return LEVELS.hasOwnProperty(key) ? key : "L";
}

function sizeOf(version) {
    return 17 + 4 * version;
}

// ---- Text to bytes ----------------------------------------------------------

function utf8Bytes(text) {
    var bytes = [];
    for (var i = 0; i < text.length; ++i) {
        var c = text.charCodeAt(i);
        if (c >= 0xd800 && c <= 0xdbff && i + 1 < text.length) {
            var low = text.charCodeAt(i + 1);
            if (low >= 0xdc00 && low <= 0xdfff) {
                c = 0x10000 + ((c - 0xd800) << 10) + (low - 0xdc00);
                ++i;
            }
        }
        if (c >= 0xd800 && c <= 0xdfff)
            c = 0xfffd; // an unpaired surrogate has no UTF-8 form
        if (c < 0x80) {
            bytes.push(c);
        } else if (c < 0x800) {
            bytes.push(0xc0 | (c >> 6), 0x80 | (c & 0x3f));
        } else if (c < 0x10000) {
            bytes.push(0xe0 | (c >> 12), 0x80 | ((c >> 6) & 0x3f), 0x80 | (c & 0x3f));
        } else {
            bytes.push(0xf0 | (c >> 18), 0x80 | ((c >> 12) & 0x3f), 0x80 | ((c >> 6) & 0x3f), 0x80 | (c & 0x3f));
        }
    }
    return bytes;
}

// ---- Function patterns ------------------------------------------------------

function alignmentPositions(version) {
    if (version === 1)
        return [];
    var count = Math.floor(version / 7) + 2;
    var last = sizeOf(version) - 7;
    // The centres are evenly spaced by an even step from the last one back to
    // column 6; version 32 is the one exception to the rounding.
    var step = version === 32 ? 26 : Math.ceil((last - 6) / (count - 1) / 2) * 2;
    var positions = [6];
    for (var i = count - 2; i >= 0; --i)
        positions.push(last - i * step);
    return positions;
}

// A grid of the symbol, row-major: dark[y * size + x] the module colours (0 or
// 1), reserved[...] 1 where a function pattern or format/version information
// lives.
function Grid(version) {
    this.version = version;
    this.size = sizeOf(version);
    this.dark = new Uint8Array(this.size * this.size);
    this.reserved = new Uint8Array(this.size * this.size);
}

Grid.prototype.setFunction = function (x, y, isDark) {
    var i = y * this.size + x;
    this.dark[i] = isDark ? 1 : 0;
    this.reserved[i] = 1;
};

Grid.prototype.rows = function () {
    var rows = [];
    for (var y = 0; y < this.size; ++y) {
        var row = [];
        for (var x = 0; x < this.size; ++x)
            row.push(this.dark[y * this.size + x] === 1);
        rows.push(row);
    }
    return rows;
};

// Finder pattern centred at (cx, cy), with its light separator ring where it
// falls inside the symbol.
Grid.prototype.drawFinder = function (cx, cy) {
    for (var dy = -4; dy <= 4; ++dy) {
        for (var dx = -4; dx <= 4; ++dx) {
            var x = cx + dx, y = cy + dy;
            if (x < 0 || y < 0 || x >= this.size || y >= this.size)
                continue;
            var d = Math.max(Math.abs(dx), Math.abs(dy));
            this.setFunction(x, y, d !== 2 && d !== 4);
        }
    }
};

Grid.prototype.drawAlignment = function (cx, cy) {
    for (var dy = -2; dy <= 2; ++dy)
        for (var dx = -2; dx <= 2; ++dx)
            this.setFunction(cx + dx, cy + dy, Math.max(Math.abs(dx), Math.abs(dy)) !== 1);
};

Grid.prototype.drawFunctionPatterns = function () {
    var size = this.size;
    for (var i = 0; i < size; ++i) {
        this.setFunction(6, i, i % 2 === 0);
        this.setFunction(i, 6, i % 2 === 0);
    }
    this.drawFinder(3, 3);
    this.drawFinder(size - 4, 3);
    this.drawFinder(3, size - 4);

    var centres = alignmentPositions(this.version);
    var n = centres.length;
    for (var a = 0; a < n; ++a) {
        for (var b = 0; b < n; ++b) {
            // The three corners that the finder patterns already occupy.
            if ((a === 0 && b === 0) || (a === 0 && b === n - 1) || (a === n - 1 && b === 0))
                continue;
            this.drawAlignment(centres[a], centres[b]);
        }
    }

    // Reserve the format and version areas now; their bits come last.
    this.drawFormatBits(0, 0);
    this.drawVersion();
};

// BCH remainder of value * 2^degree(generator) divided by generator.
function bchRemainder(value, generator, generatorDegree) {
    var r = value << generatorDegree;
    for (var bit = 30; bit >= generatorDegree; --bit) {
        if ((r >>> bit) & 1)
            r ^= generator << (bit - generatorDegree);
    }
    return r;
}

function formatBits(levelBits, mask) {
    var data = (levelBits << 3) | mask;
    return ((data << 10) | bchRemainder(data, 0x537, 10)) ^ 0x5412;
}

function versionBits(version) {
    return (version << 12) | bchRemainder(version, 0x1f25, 12);
}

Grid.prototype.drawFormatBits = function (levelBits, mask) {
    var bits = formatBits(levelBits, mask);
    var size = this.size;
    function bit(i) {
        return ((bits >>> i) & 1) !== 0;
    }
    // Around the top-left finder: down column 8, then left along row 8.
    for (var i = 0; i <= 5; ++i)
        this.setFunction(8, i, bit(i));
    this.setFunction(8, 7, bit(6));
    this.setFunction(8, 8, bit(7));
    this.setFunction(7, 8, bit(8));
    for (i = 9; i < 15; ++i)
        this.setFunction(14 - i, 8, bit(i));
    // The second copy: along row 8 under the top-right finder, then down
    // column 8 beside the bottom-left one.
    for (i = 0; i < 8; ++i)
        this.setFunction(size - 1 - i, 8, bit(i));
    for (i = 8; i < 15; ++i)
        this.setFunction(8, size - 15 + i, bit(i));
    this.setFunction(8, size - 8, true); // the dark module
};

Grid.prototype.drawVersion = function () {
    if (this.version < 7)
        return;
    var bits = versionBits(this.version);
    for (var i = 0; i < 18; ++i) {
        var isDark = ((bits >>> i) & 1) !== 0;
        var a = this.size - 11 + (i % 3);
        var b = Math.floor(i / 3);
        this.setFunction(a, b, isDark);
        this.setFunction(b, a, isDark);
    }
};

// ---- Capacity and error correction -----------------------------------------

var rawCodewordCache = [];

// Codewords (data and error correction) that a symbol of this version holds:
// every module outside the function patterns, in whole bytes.
function totalCodewords(version) {
    if (rawCodewordCache[version] === undefined) {
        var grid = new Grid(version);
        grid.drawFunctionPatterns();
        var free = 0;
        for (var i = 0; i < grid.reserved.length; ++i)
            if (grid.reserved[i] === 0)
                ++free;
        rawCodewordCache[version] = Math.floor(free / 8);
    }
    return rawCodewordCache[version];
}

function dataCodewords(version, levelIndex) {
    return totalCodewords(version) - EC_CODEWORDS_PER_BLOCK[levelIndex][version] * EC_BLOCKS[levelIndex][version];
}

function countBits(version) {
    return version <= 9 ? 8 : 16;
}

// How many bytes a symbol of this version and level holds in byte mode.
function capacity(version, level) {
    if (typeof version !== "number" || version !== Math.floor(version) || version < MIN_VERSION || version > MAX_VERSION)
        return 0;
    var bits = dataCodewords(version, LEVELS[levelOf(level)].index) * 8 - 4 - countBits(version);
    return Math.floor(bits / 8);
}

// GF(256) with the primitive polynomial x^8 + x^4 + x^3 + x^2 + 1.
var EXP = [];
var LOG = [];
(function () {
    var x = 1;
    for (var i = 0; i < 255; ++i) {
        EXP[i] = x;
        LOG[x] = i;
        x <<= 1;
        if (x & 0x100)
            x ^= 0x11d;
    }
    for (i = 255; i < 512; ++i)
        EXP[i] = EXP[i - 255];
})();

function gfMultiply(a, b) {
    return (a === 0 || b === 0) ? 0 : EXP[LOG[a] + LOG[b]];
}

var generatorCache = [];

// Coefficients of (x - a^0)(x - a^1)...(x - a^(degree-1)), highest first,
// without the leading 1.
function generator(degree) {
    if (generatorCache[degree] === undefined) {
        var poly = [1];
        for (var i = 0; i < degree; ++i) {
            var next = [];
            for (var j = 0; j <= poly.length; ++j) {
                var a = j < poly.length ? poly[j] : 0;
                var b = j > 0 ? gfMultiply(poly[j - 1], EXP[i]) : 0;
                next.push(a ^ b);
            }
            poly = next;
        }
        generatorCache[degree] = poly.slice(1);
    }
    return generatorCache[degree];
}

function reedSolomon(data, degree) {
    var gen = generator(degree);
    var remainder = [];
    for (var i = 0; i < degree; ++i)
        remainder.push(0);
    for (i = 0; i < data.length; ++i) {
        var factor = data[i] ^ remainder.shift();
        remainder.push(0);
        for (var j = 0; j < degree; ++j)
            remainder[j] ^= gfMultiply(gen[j], factor);
    }
    return remainder;
}

// Splits the data codewords into blocks, adds each block's error correction
// and interleaves: first data codeword of every block, then the second, ...,
// then the error-correction codewords the same way.
function interleave(data, version, levelIndex) {
    var blocks = EC_BLOCKS[levelIndex][version];
    var ecLength = EC_CODEWORDS_PER_BLOCK[levelIndex][version];
    var total = totalCodewords(version);
    var shortBlocks = blocks - total % blocks;
    var shortDataLength = Math.floor(total / blocks) - ecLength;

    var dataBlocks = [], ecBlocks = [];
    var offset = 0;
    for (var b = 0; b < blocks; ++b) {
        var length = shortDataLength + (b < shortBlocks ? 0 : 1);
        var block = data.slice(offset, offset + length);
        offset += length;
        dataBlocks.push(block);
        ecBlocks.push(reedSolomon(block, ecLength));
    }

    var result = [];
    for (var i = 0; i <= shortDataLength; ++i)
        for (b = 0; b < blocks; ++b)
            if (i < dataBlocks[b].length)
                result.push(dataBlocks[b][i]);
    for (i = 0; i < ecLength; ++i)
        for (b = 0; b < blocks; ++b)
            result.push(ecBlocks[b][i]);
    return result;
}

// Mode indicator, character count, the bytes, terminator and padding.
function dataCodewordsFor(bytes, version, levelIndex) {
    var bits = [];
    function append(value, length) {
        for (var i = length - 1; i >= 0; --i)
            bits.push((value >>> i) & 1);
    }
    var capacityBits = dataCodewords(version, levelIndex) * 8;
    append(4, 4); // byte mode
    append(bytes.length, countBits(version));
    for (var i = 0; i < bytes.length; ++i)
        append(bytes[i], 8);
    append(0, Math.min(4, capacityBits - bits.length));
    append(0, (8 - bits.length % 8) % 8);

    var codewords = [];
    for (i = 0; i < bits.length; i += 8) {
        var v = 0;
        for (var j = 0; j < 8; ++j)
            v = (v << 1) | bits[i + j];
        codewords.push(v);
    }
    for (var pad = 0xec; codewords.length < capacityBits / 8; pad ^= 0xec ^ 0x11)
        codewords.push(pad);
    return codewords;
}

// ---- Placement and masking --------------------------------------------------

// Places the codewords, most significant bit first, in two-module columns that
// zigzag up and down from the bottom-right corner, skipping the timing column.
Grid.prototype.placeCodewords = function (codewords) {
    var size = this.size;
    var index = 0;
    var count = codewords.length * 8;
    for (var right = size - 1; right >= 1; right -= 2) {
        if (right === 6)
            right = 5;
        var upward = ((right + 1) & 2) === 0;
        for (var step = 0; step < size; ++step) {
            var y = upward ? size - 1 - step : step;
            for (var j = 0; j < 2; ++j) {
                var at = y * size + right - j;
                if (this.reserved[at] === 1)
                    continue;
                // Remainder bits past the last codeword stay light.
                if (index < count)
                    this.dark[at] = (codewords[index >>> 3] >>> (7 - (index & 7))) & 1;
                ++index;
            }
        }
    }
};

function maskCondition(mask, x, y) {
    switch (mask) {
    case 0: return (y + x) % 2 === 0;
    case 1: return y % 2 === 0;
    case 2: return x % 3 === 0;
    case 3: return (y + x) % 3 === 0;
    case 4: return (Math.floor(y / 2) + Math.floor(x / 3)) % 2 === 0;
    case 5: return (y * x) % 2 + (y * x) % 3 === 0;
    case 6: return ((y * x) % 2 + (y * x) % 3) % 2 === 0;
    default: return ((y + x) % 2 + (y * x) % 3) % 2 === 0;
    }
}

// Inverts the data modules where the mask's condition holds (an involution:
// applying it twice restores the grid).
Grid.prototype.applyMask = function (mask) {
    var size = this.size;
    for (var y = 0; y < size; ++y) {
        for (var x = 0; x < size; ++x) {
            var i = y * size + x;
            if (this.reserved[i] === 0 && maskCondition(mask, x, y))
                this.dark[i] ^= 1;
        }
    }
};

// Penalty points of one row or column: runs of five or more modules of one
// colour (3, plus 1 per module beyond five), and dark-light-dark-dark-dark-
// light-dark patterns with four light modules on at least one side inside the
// symbol (40 each). cells is read from start in steps of stride.
function linePenalty(cells, start, stride, length) {
    var score = 0;
    var run = 1;
    var i;
    for (i = 1; i < length; ++i) {
        if (cells[start + i * stride] === cells[start + (i - 1) * stride]) {
            ++run;
        } else {
            if (run >= 5)
                score += run - 2;
            run = 1;
        }
    }
    if (run >= 5)
        score += run - 2;

    for (i = 0; i + 7 <= length; ++i) {
        var p = start + i * stride;
        if (cells[p] === 1 && cells[p + stride] === 0 && cells[p + 2 * stride] === 1 && cells[p + 3 * stride] === 1
                && cells[p + 4 * stride] === 1 && cells[p + 5 * stride] === 0 && cells[p + 6 * stride] === 1) {
            if (lightRun(cells, start, stride, length, i - 4) || lightRun(cells, start, stride, length, i + 7))
                score += 40;
        }
    }
    return score;
}

function lightRun(cells, start, stride, length, from) {
    if (from < 0 || from + 4 > length)
        return false;
    for (var k = from; k < from + 4; ++k)
        if (cells[start + k * stride] === 1)
            return false;
    return true;
}

// The four penalty rules: runs, finder-like patterns (both in linePenalty),
// 2x2 blocks of one colour (3 each) and the distance of the dark share from
// one half (10 per full 5 %).
Grid.prototype.penalty = function () {
    var size = this.size;
    var dark = this.dark;
    var score = 0;
    var i;
    for (i = 0; i < size; ++i) {
        score += linePenalty(dark, i * size, 1, size);
        score += linePenalty(dark, i, size, size);
    }
    var darkCount = 0;
    for (var y = 0; y < size; ++y) {
        for (var x = 0; x < size; ++x) {
            i = y * size + x;
            var c = dark[i];
            darkCount += c;
            if (x + 1 < size && y + 1 < size && dark[i + 1] === c && dark[i + size] === c && dark[i + size + 1] === c)
                score += 3;
        }
    }
    var percent = darkCount * 100 / (size * size);
    score += Math.floor(Math.abs(percent - 50) / 5) * 10;
    return score;
};

// ---- Entry points -----------------------------------------------------------

function chooseVersion(byteCount, level) {
    for (var version = MIN_VERSION; version <= MAX_VERSION; ++version) {
        if (byteCount <= capacity(version, level))
            return version;
    }
    return 0;
}

function encode(text, level, forcedMask) {
    var bytes = utf8Bytes(text === undefined || text === null ? "" : String(text));
    var levelName = levelOf(level);
    var version = chooseVersion(bytes.length, levelName);
    if (version === 0)
        return null;
    var levelIndex = LEVELS[levelName].index;

    var grid = new Grid(version);
    grid.drawFunctionPatterns();
    grid.placeCodewords(interleave(dataCodewordsFor(bytes, version, levelIndex), version, levelIndex));

    var mask = -1;
    if (typeof forcedMask === "number" && forcedMask >= 0 && forcedMask <= 7 && forcedMask === Math.floor(forcedMask)) {
        mask = forcedMask;
    } else {
        var best = -1;
        for (var m = 0; m < 8; ++m) {
            grid.applyMask(m);
            grid.drawFormatBits(LEVELS[levelName].bits, m);
            var p = grid.penalty();
            if (best < 0 || p < best) {
                best = p;
                mask = m;
            }
            grid.applyMask(m);
        }
    }
    grid.applyMask(mask);
    grid.drawFormatBits(LEVELS[levelName].bits, mask);

    return { version: version, size: grid.size, level: levelName, mask: mask, modules: grid.rows() };
}
