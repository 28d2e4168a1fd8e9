// SPDX-License-Identifier: GPL-3.0-or-later
// The page's glue: its text areas, buttons and clipboard over the boxes' behaviour, which is the
// window's own C++ (CodeTarvoWasm's Page). The page reports what the user does and shows what
// the boxes say; it decides nothing of the boxes itself.

const wasm = await CodeTarvoWasm();
const fields = [wasm.Field.Key, wasm.Field.Plain, wasm.Field.Code];
const Code = 2;
const txt = [0, 1, 2].map((i) => document.getElementById(`txt${i}`));
const Copie = [0, 1, 2].map((i) => document.getElementById(`Copie${i}`));
const ctr = [0, 1, 2].map((i) => document.getElementById(`ctr${i}`));
const armorButton = document.getElementById('armor');
const shareButton = document.getElementById('share');
const note = document.getElementById('note');
const plainDescription = txt[1].getAttribute('aria-description');
const backdrop = txt[Code].previousElementSibling;
for (const label of ctr)
    label.dataset.counted = label.getAttribute('aria-label');

// Where OLD and VALUE differ: [start, end in OLD, end in VALUE]. Compared a piece at a time,
// which the engine does natively, then a character at a time in the piece that differs.
const piece = 512;
function difference(old, value) {
    const common = Math.min(old.length, value.length);
    let start = 0;
    while (start + piece <= common && old.slice(start, start + piece) === value.slice(start, start + piece))
        start += piece;
    while (start < common && old.charCodeAt(start) === value.charCodeAt(start))
        ++start;
    const most = common - start; // the common end may not reach into the common start
    let end = 0;
    while (end + piece <= most &&
           old.slice(old.length - end - piece, old.length - end) ===
               value.slice(value.length - end - piece, value.length - end))
        end += piece;
    while (end < most &&
           old.charCodeAt(old.length - 1 - end) === value.charCodeAt(value.length - 1 - end))
        ++end;
    return [start, old.length - end, value.length - end];
}

// What each box held when the boxes last showed or heard of it: an edit is told to them as
// what differs from it.
const held = txt.map((box) => box.value);

// Gives box I the text VALUE by replacing only what differs, which the browser lays out again;
// the text before and after it keeps its layout (a long line costs tens of milliseconds).
function replaceValue(i, value) {
    const [start, oldEnd, end] = difference(txt[i].value, value);
    if (start < oldEnd || start < end)
        txt[i].setRangeText(value.slice(start, end), start, oldEnd);
    held[i] = value;
}

// The unit at fault underlined in the code box, on the same text laid out under it.
function mark(at) {
    backdrop.replaceChildren();
    if (at < 0)
        return;
    const shown = txt[Code].value;
    const marked = document.createElement('mark');
    marked.textContent = shown.slice(at, at + 1);
    backdrop.append(shown.slice(0, at), marked);
    backdrop.scrollTop = txt[Code].scrollTop;
    backdrop.scrollLeft = txt[Code].scrollLeft;
}
txt[Code].addEventListener('scroll', () => {
    backdrop.scrollTop = txt[Code].scrollTop;
    backdrop.scrollLeft = txt[Code].scrollLeft;
});

function describeFailure(why) {
    txt[1].title = why;
    txt[1].setAttribute('aria-description', why ? `${plainDescription}. ${why}` : plainDescription);
}

// What the boxes have the page show.
const page = new wasm.Page({
    showText(i, shown) {
        replaceValue(i, shown);
    },
    showCount(i, count) {
        ctr[i].textContent = String(count);
        ctr[i].setAttribute('aria-label', `${ctr[i].dataset.counted} : ${count}`);
    },
    enableCopies(enabled) {
        for (const button of [...Copie, armorButton, shareButton])
            button.disabled = !enabled;
    },
    showFailure(why, at) {
        describeFailure(why);
        mark(at);
    },
    clearFailure() {
        describeFailure('');
        mark(-1);
    },
    showRefusal(i, why) {
        note.textContent = why;
    },
});

// Replaces what the user selected in BOX by TEXT as an edit of the user's, which the browser
// can undo; false when the browser took it in without an input event. Chromium's insertion
// takes a text's lines one by one, at a cost that grows with the square of their number (half a
// second for 10 KiB of prose, a minute for 100 KiB): a longer text goes in at once, and the
// browser cannot undo it.
const undoableLength = 2048;
function enter(box, text) {
    box.focus();
    if (text.length <= undoableLength && document.execCommand('insertText', false, text))
        return true;
    box.setRangeText(text, box.selectionStart, box.selectionEnd, 'end');
    return false;
}

// Tells the boxes what changed in box I. What a person entered shows as the box shows what it
// enters (a control character as its picture, a character the code page lacks as "?"),
// rewritten as an edit of its own so that the browser's undo history stays whole, as in the
// window; the cursor stays after the same text. A pasted text is SHOWN so already.
let rewriting = false;
function edited(i, shownAlready = false) {
    const box = txt[i];
    const value = box.value;
    const [start, oldEnd, end] = difference(held[i], value);
    if (start === oldEnd && start === end)
        return;
    const entered = value.slice(start, end);
    const shown = shownAlready ? entered : page.typed(fields[i], entered);
    if (shown !== entered) {
        const after = value.length - box.selectionEnd;
        box.setSelectionRange(start, end);
        rewriting = true;
        enter(box, shown);
        rewriting = false;
        const length = box.value.length;
        box.setSelectionRange(length - after, length - after);
    }
    held[i] = box.value;
    page.edited(fields[i], start, oldEnd, shown);
}

for (const [i, box] of txt.entries()) {
    // Typed text is rewritten before it enters, so that typing it and the rewrite are one step
    // to undo; what arrives otherwise (an input method's text) is rewritten once it is there.
    box.addEventListener('beforeinput', (event) => {
        if (event.inputType !== 'insertText' || !event.data || !event.cancelable)
            return;
        const shown = page.typed(fields[i], event.data);
        if (shown === event.data)
            return;
        event.preventDefault();
        enter(box, shown);
    });
    box.addEventListener('input', () => {
        if (!rewriting)
            edited(i);
    });
    // The paste event's text keeps every code (code 0 and CR included) where the browser's
    // clipboard does: each character is its own code, as the window reads the clipboard. What
    // it enters is an edit of the user's, which the input event reports.
    box.addEventListener('paste', (event) => {
        const pasted = event.clipboardData?.getData('text/plain');
        if (pasted === undefined)
            return;
        event.preventDefault();
        const selected = box.value.slice(box.selectionStart, box.selectionEnd);
        const entry = page.paste(fields[i], pasted, selected);
        if (!entry.refused && !enter(box, entry.shown))
            edited(i, true);
    });
    // A dropped text enters as the browser drops it, unless it is too long for the box.
    box.addEventListener('drop', (event) => {
        const dropped = event.dataTransfer?.getData('text/plain');
        if (dropped && !page.admitsDrop(fields[i], dropped))
            event.preventDefault();
    });
}

// Copy puts the box's codes on the clipboard as their characters. The asynchronous Clipboard
// API hands every code over, but the engine's clipboard may not keep them all: Gecko drops code
// 0 (and, on X11, turns CR into LF); WebKit ends the text at code 0, turns CR into LF and the
// no-break space into a space, and drops DEL and the C1 controls (the code page's undefined
// codes). Gecko lets a page read back what it wrote, so the loss is seen; WebKit asks the user
// for any read, so there a code text holding such codes is said to be at risk; Chromium keeps
// every code. The older copy command, the fallback, drops code 0 and CR.
const atRisk = /[\0\r\u007f-\u009f\u00a0]/g;
const engine = navigator.userAgentData ? 'chromium'
               : CSS.supports('-moz-appearance', 'none') ? 'gecko' : 'webkit';

async function keptByClipboard(raw) {
    if (engine === 'chromium' || !raw.match(atRisk))
        return true;
    if (engine === 'gecko') {
        try {
            return await navigator.clipboard.readText() === raw;
        } catch {
            return false;
        }
    }
    return false;
}

// The codes of RAW that a clipboard may lose, in hexadecimal as the note names them.
function riskyCodes(raw) {
    return [...new Set(raw.match(atRisk))].map((c) => c.charCodeAt(0)).sort((a, b) => a - b)
        .map((code) => code.toString(16).toUpperCase().padStart(2, '0')).join(', ');
}

async function putOnClipboard(raw, codeText = false) {
    try {
        await navigator.clipboard.writeText(raw);
        note.textContent = !codeText || await keptByClipboard(raw) ? ''
            : `Copie incomplète : le presse-papiers de ce navigateur perd des codes de ce texte ` +
              `codé (${riskyCodes(raw)}). « Copier pour un message » le copie exactement.`;
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
    putOnClipboard(page.raw(fields[i]), i === Code);
}
for (const [i, button] of Copie.entries())
    button.addEventListener('click', () => Copie_Click(i));

// The armored form of the code text, for a message: Ctrl+Shift+C wherever the focus is, or
// the button on a touch screen; nothing while the Copy buttons are disabled.
function copyArmored() {
    const armored = page.armored();
    if (armored !== null)
        putOnClipboard(armored);
}
armorButton.addEventListener('click', copyArmored);

// Where the browser offers the system's share sheet (a phone's), the armored form goes to the
// application the user picks.
if (navigator.share) {
    shareButton.hidden = false;
    shareButton.addEventListener('click', async () => {
        const armored = page.armored();
        if (armored === null)
            return;
        try {
            await navigator.share({text: armored});
            note.textContent = '';
        } catch (error) {
            if (error.name !== 'AbortError') // not the user closing the sheet
                note.textContent = 'Partage impossible : le navigateur le refuse.';
        }
    });
}
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

// A text shared to the installed app from another (a chat's message) opens the page with it in
// the address: it enters the code box as a paste would, an armored text read back, a damaged one
// refused. The address is cleaned, so that a reload does not take it again.
const shared = new URLSearchParams(location.search);
const sharedText = ['title', 'text', 'url'].map((name) => shared.get(name)).filter(Boolean).join('\n');
if (location.search)
    history.replaceState(null, '', location.pathname + location.hash);
txt[1].focus();
if (sharedText) {
    const entry = page.paste(fields[Code], sharedText, txt[Code].value);
    if (!entry.refused) {
        txt[Code].select();
        if (!enter(txt[Code], entry.shown))
            edited(Code, true);
    }
}
performance.mark('codetarvo-usable');
document.documentElement.dataset.ready = '';
