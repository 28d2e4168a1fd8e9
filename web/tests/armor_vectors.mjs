// SPDX-License-Identifier: GPL-3.0-or-later
// The armored form's test vectors (tests/vectors/armor, described in docs/armor.md) pasted
// into the page's code box, over a code text it already holds: a valid one enters its code
// text; a damaged one enters nothing and gives "Erreur" naming its damage and line; a text
// with no frame is no armored form, and enters as it is.
import assert from 'node:assert/strict';
import fs from 'node:fs';

const folder = new URL('../../tests/vectors/armor/', import.meta.url);

// Codes 0x80-0x9F as the page's characters: Windows-1252, the unassigned ones as themselves.
const high = '€\x81‚ƒ„…†‡ˆ‰Š‹Œ\x8dŽ\x8f\x90‘’“”•–—˜™š›œ\x9džŸ';
const raw = (hex) => (hex.match(/../g) ?? []).map((pair) => parseInt(pair, 16))
    .map((c) => (c >= 0x80 && c < 0xa0 ? high[c - 0x80] : String.fromCharCode(c))).join('');

const damage = {
    BadCharacter: 'un caractère qu\'un texte armé ne contient jamais',
    Damaged: 'un caractère changé, ajouté, perdu ou interverti, ou une ligne perdue, doublée ou déplacée',
    CutShort: 'la fin manque',
    TrailingData: 'des lignes en trop après la dernière',
};

// PAGE is open; state, pasteInto and copyFrom are the page test's helpers.
export async function armorVectors(page, {state, pasteInto, copyFrom}) {
    const rows = fs.readFileSync(new URL('expected.txt', folder), 'utf8').split('\n')
        .filter((row) => row.trim() && !row.startsWith('#')).map((row) => row.trim().split(/\s+/));
    assert.ok(rows.length > 0, 'no test vectors');
    const held = '\x01\x02 codes';
    for (const [file, kind, value = ''] of rows) {
        const text = fs.readFileSync(new URL(file, folder), 'utf8');
        await pasteInto(page, 2, held);
        await pasteInto(page, 2, text);
        const s = await state(page);
        if (kind === 'written' || kind === 'reads') {
            assert.doesNotMatch(s.why, /texte armé/, file);
            assert.equal(value ? await copyFrom(page, 2) : s.boxes[2], raw(value), file);
        } else if (kind === 'NotFound') {
            assert.equal(await copyFrom(page, 2), text, file);
        } else {
            assert.equal(s.boxes[1], 'Erreur', file);
            assert.ok(s.why.startsWith(`Le texte armé est abîmé à la ligne ${value} : ${damage[kind]}.`),
                      `${file}: ${s.why}`);
            assert.equal(await copyFrom(page, 2), held, file);
        }
    }
}
