// SPDX-License-Identifier: GPL-3.0-or-later
// The page's behaviour: the window's change handler (txt_Change) over three text areas, the
// Copy buttons, pasting and the armored form, all on the program's own C++ (CodeTarvoWasm): the
// cipher, the code page, the display form, the failure texts and the armored form. Box I holds
// the display form of its codes. The handler is the window's, line for line: the page's text
// areas give no nested change on assignment, so setText raises it.

const wasm = await CodeTarvoWasm();
const Key = 0, Plain = 1, Code = 2;
const Erreur = wasm.erreur();
const txt = [0, 1, 2].map((i) => document.getElementById(`txt${i}`));
const Copie = [0, 1, 2].map((i) => document.getElementById(`Copie${i}`));
const [ctr0, ctr1, ctr2] = [0, 1, 2].map((i) => document.getElementById(`ctr${i}`));
const multi = [false, true, true];
const note = document.getElementById('note');
const plainDescription = txt[Plain].getAttribute('aria-description');
const backdrop = txt[Code].previousElementSibling;

// The codes of box I, read afresh; a box's value is converted again only once it changed.
const read = txt.map(() => ({value: null, codes: ''}));
function text(i) {
    const value = txt[i].value;
    if (read[i].value !== value)
        read[i] = {value, codes: wasm.fromDisplay(value, multi[i])};
    return read[i].codes;
}

// Assigns box I. A text area raises no event when a script assigns it, so the change is
// handled here, before this returns, as the window's boxes handle theirs.
function setText(i, codes) {
    const value = wasm.toDisplay(codes, multi[i]);
    replaceValue(txt[i], value);
    read[i] = {value, codes};
    handle(i);
}

// Gives BOX the text VALUE by replacing only what differs, which the browser lays out again;
// the text before and after it keeps its layout (a long line costs tens of milliseconds).
function replaceValue(box, value) {
    const old = box.value;
    const common = Math.min(old.length, value.length);
    let start = 0;
    while (start < common && old.charCodeAt(start) === value.charCodeAt(start))
        ++start;
    let end = 0;
    while (end < common - start &&
           old.charCodeAt(old.length - 1 - end) === value.charCodeAt(value.length - 1 - end))
        ++end;
    if (start < old.length - end || start < value.length - end)
        box.setRangeText(value.slice(start, value.length - end), start, old.length - end);
}

function setCount(label, count) {
    label.textContent = String(count);
    label.setAttribute('aria-label', `${label.dataset.counted} : ${count}`);
}
for (const label of [ctr0, ctr1, ctr2])
    label.dataset.counted = label.getAttribute('aria-label');

// Coder shows the plain length on ctr1 itself.
wasm.onPlainLength((length) => setCount(ctr1, length));

let EnCours = 0;

function txt_Change(i) {
    if (text(Key).length < 2) {
        for (const button of Copie)
            button.disabled = true;
        return;
    }
    for (const button of Copie)
        button.disabled = false;

    switch (i) {
    case Key:
        setCount(ctr0, text(Key).length);
        if (text(Plain) === '') {
            decodeIntoPlain();
            return;
        }
        if (text(Plain) === Erreur)
            return;
        EnCours = 1;
        setText(Code, wasm.coder(text(Plain), text(Key)));
        setCount(ctr2, text(Code).length);
        EnCours = 0;
        return;
    case Plain:
        if (text(Plain) === Erreur)
            return;
        if (EnCours > 0)
            return;
        EnCours = 2;
        if (text(Plain) === '') {
            setText(Code, '');
        } else {
            setText(Code, wasm.coder(text(Plain), text(Key)));
            setCount(ctr2, text(Code).length);
        }
        EnCours = 0;
        return;
    case Code:
        if (EnCours > 0)
            return;
        EnCours = 2;
        if (text(Code) === '') {
            EnCours = 0;
            setText(Plain, '');
            return;
        }
        decodeIntoPlain();
        setCount(ctr1, text(Plain).length);
        EnCours = 0;
    }
}

// The code text and key whose decoding's failure the page shows, as the window keeps them.
let failure = null;

function decodeIntoPlain() {
    const code = text(Code), key = text(Key);
    const result = wasm.decode(code, key);
    if (result.ok) {
        setText(Plain, result.plain);
        clearFailure();
        return;
    }
    // Noted first, so that the plain box's change finds the reason in line with the boxes.
    noteFailure(code, key, result);
    setText(Plain, Erreur);
}

function noteFailure(code, key, result) {
    failure = {code, key};
    if (key.length < 2)
        describeFailure(wasm.keyTooShort(), null);
    else if (result.ok)
        describeFailure(wasm.fitsNow(), null);
    else
        describeFailure(result.why, Math.min(result.unit, code.length - 1));
}

function reviewFailure() {
    if (!failure)
        return;
    if (text(Plain) !== Erreur) {
        clearFailure();
        return;
    }
    const code = text(Code), key = text(Key);
    if (code !== failure.code || key !== failure.key)
        noteFailure(code, key, wasm.decode(code, key));
}

function clearFailure() {
    if (!failure)
        return;
    failure = null;
    describeFailure('', null);
}

// The reason on the plain box (tooltip and description), and the unit at fault underlined in
// the code box, on the same text laid out under it.
function describeFailure(why, unit) {
    txt[Plain].title = why;
    txt[Plain].setAttribute('aria-description', why ? `${plainDescription}. ${why}` : plainDescription);
    backdrop.replaceChildren();
    if (unit === null || unit < 0)
        return;
    const codes = text(Code);
    const shown = txt[Code].value;
    const at = wasm.displayIndex(codes, unit, true);
    const mark = document.createElement('mark');
    mark.textContent = shown.slice(at, at + 1);
    backdrop.append(shown.slice(0, at), mark);
    backdrop.scrollTop = txt[Code].scrollTop;
    backdrop.scrollLeft = txt[Code].scrollLeft;
}
txt[Code].addEventListener('scroll', () => {
    backdrop.scrollTop = txt[Code].scrollTop;
    backdrop.scrollLeft = txt[Code].scrollLeft;
});

function handle(i) {
    txt_Change(i);
    reviewFailure();
}

// What a person typed shows as the box shows what it enters: a control character as its
// picture, a character the code page lacks as "?"; the cursor stays after it.
function typed(i) {
    const box = txt[i];
    const value = box.value;
    const shown = wasm.typed(value, multi[i]);
    if (shown === value)
        return;
    const after = wasm.typed(value.slice(box.selectionEnd), multi[i]).length;
    box.value = shown;
    box.setSelectionRange(shown.length - after, shown.length - after);
}

// Enters CODES in place of box I's selection, as one step the user can undo; the input
// event that raises handles the change.
function insertCodes(i, codes) {
    const box = txt[i];
    const shown = wasm.toDisplay(codes, multi[i]);
    box.focus();
    if (document.execCommand('insertText', false, shown))
        return;
    box.setRangeText(shown, box.selectionStart, box.selectionEnd, 'end');
    handle(i);
}

for (const [i, box] of txt.entries()) {
    box.addEventListener('input', () => {
        typed(i);
        handle(i);
    });
    // The paste event's text keeps every code (code 0 and CR included): each character is
    // its own code, as the window reads the clipboard.
    box.addEventListener('paste', (event) => {
        const pasted = event.clipboardData?.getData('text/plain');
        if (pasted === undefined)
            return;
        event.preventDefault();
        if (i === Code && wasm.holdsArmor(new TextEncoder().encode(pasted)))
            pasteArmor(pasted);
        else
            insertCodes(i, wasm.fromRaw(pasted));
    });
}

// A pasted text holding the armored form of a code text (with whatever a mail reader put
// around it) enters the code text it carries. A damaged one enters nothing: the plain box says
// "Erreur" and why, and the code box keeps what it had.
function pasteArmor(pasted) {
    const result = wasm.dearmor(new TextEncoder().encode(pasted));
    if (result.ok) {
        insertCodes(Code, result.code);
        return;
    }
    failure = {code: text(Code), key: text(Key)};
    describeFailure(result.why, null);
    setText(Plain, Erreur);
}

// Copy puts the box's codes on the clipboard as their characters. The asynchronous Clipboard
// API keeps every code; the older copy command, the fallback, drops code 0 and CR, which the
// note then says.
async function putOnClipboard(codes) {
    const raw = wasm.toRaw(codes);
    try {
        await navigator.clipboard.writeText(raw);
        note.textContent = '';
        return;
    } catch {
        // No permission, or no Clipboard API here: the copy command below.
    }
    const carrier = document.createElement('textarea');
    carrier.value = raw;
    carrier.setAttribute('aria-hidden', 'true');
    carrier.style.position = 'fixed';
    carrier.style.opacity = '0';
    document.body.append(carrier);
    carrier.select();
    const copied = document.execCommand('copy');
    carrier.remove();
    const lost = /[\0\r]/.test(raw);
    note.textContent = !copied ? 'Copie impossible : le navigateur refuse le presse-papiers.'
                       : lost   ? 'Copie incomplète : le navigateur a retiré les codes 0 et CR (00, 0D) du texte copié.'
                                : '';
}

function Copie_Click(i) {
    putOnClipboard(text(i));
}
for (const [i, button] of Copie.entries())
    button.addEventListener('click', () => Copie_Click(i));

// The armored form of the code text, for a message: Ctrl+Shift+C wherever the focus is, or
// the button on a touch screen.
function copyArmored() {
    putOnClipboard(wasm.armor(text(Code)));
}
document.getElementById('armor').addEventListener('click', copyArmored);
document.addEventListener('keydown', (event) => {
    if (event.ctrlKey && event.shiftKey && !event.altKey && event.code === 'KeyC') {
        event.preventDefault();
        copyArmored();
    }
});

// The on-screen keyboard narrows the visible part of the page: the box being typed in stays
// in sight.
window.visualViewport?.addEventListener('resize', () => {
    if (txt.includes(document.activeElement))
        document.activeElement.scrollIntoView({block: 'nearest'});
});

// Served over http(s), the page installs as an app and works offline; from disk it needs
// neither.
if (location.protocol.startsWith('http') && 'serviceWorker' in navigator) {
    const manifest = document.createElement('link');
    manifest.rel = 'manifest';
    manifest.href = 'manifest.webmanifest';
    document.head.append(manifest);
    navigator.serviceWorker.register('sw.js');
}

txt[Plain].focus();
performance.mark('codetarvo-usable');
document.documentElement.dataset.ready = '';
