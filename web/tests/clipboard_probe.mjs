// SPDX-License-Identifier: GPL-3.0-or-later
// What each engine's clipboard does to the characters a raw code text can hold: each sample
// is written by the asynchronous clipboard (writeText) and by the copy command (from a
// selected text area, and from a copy event's setData), then read back by
// navigator.clipboard.readText and by a paste event; every arrival that differs is printed
// as code points. Then what a page can find out alone, with no prompt: a copy event's
// clipboardData and a DataTransfer of its own, each set and read back.
//   node clipboard_probe.mjs --site BUILD-WEB [--engine NAME]... [--headed]
// --headed shows Chromium and Firefox on an X server of the probe's own instead of running
// them headless (whose clipboard is the engine's own, in memory).
import path from 'node:path';
import {parseArgs} from 'node:util';
import {engineNames, launch, serve} from './engines.mjs';

const {values: options} = parseArgs({options: {site: {type: 'string'}, engine: {type: 'string', multiple: true},
                                                headed: {type: 'boolean'}}});
const range = (from, to) => String.fromCharCode(...Array.from({length: to - from + 1}, (_, i) => from + i));
const samples = [
    ['code 0', 'a\0b'],
    ['CR alone', 'a\rb'],
    ['LF alone', 'a\nb'],
    ['CR LF', 'a\r\nb'],
    ['U+0001..U+0008, U+000B, U+000C, U+000E..U+001F', `a${range(1, 8)}\v\f${range(14, 31)}b`],
    ['tab', 'a\tb'],
    ['U+007F', 'a\x7fb'],
    ['U+0080..U+009F', `a${range(0x80, 0x9f)}b`],
    ['U+00A0..U+00FF', `a${range(0xa0, 0xff)}b`],
];
const shown = (text) => (text === null || text === undefined ? String(text)
                         : [...text].map((c) => c.codePointAt(0).toString(16).padStart(2, '0')).join(' '));

// Sets up the page's side: a button whose click writes the armed text by the copy command
// from a text area, another by a copy event's setData, and a text area whose paste event
// keeps what arrived.
function install() {
    const probe = (window.probe = {text: '', pasted: null, done: null});
    let right = 0;
    const button = (id, act) => {
        const b = document.createElement('button');
        b.id = id;
        b.textContent = id;
        b.style.cssText = `position:fixed;right:${right}px;bottom:0;width:40px;height:20px;z-index:9`;
        right += 50;
        b.addEventListener('click', () => {
            try {
                probe.done = act() ? 'ok' : 'refused';
            } catch (error) {
                probe.done = String(error);
            }
        });
        document.body.append(b);
    };
    button('probe-command', () => {
        const area = document.createElement('textarea');
        area.value = probe.text;
        document.body.append(area);
        area.select();
        const copied = document.execCommand('copy');
        area.remove();
        return copied;
    });
    button('probe-event', () => {
        document.addEventListener('copy', (event) => {
            event.clipboardData.setData('text/plain', probe.text);
            event.preventDefault();
        }, {once: true});
        return document.execCommand('copy');
    });
    button('probe-write', () => {
        navigator.clipboard.writeText(probe.text).then(() => (probe.written = 'ok'),
                                                       (error) => (probe.written = String(error)));
        return true;
    });
    const area = document.createElement('textarea');
    area.id = 'probe-paste';
    area.style.cssText = 'position:fixed;left:0;bottom:0;width:40px;height:20px;z-index:9';
    area.addEventListener('paste', (event) => {
        probe.pasted = event.clipboardData.getData('text/plain');
        event.preventDefault();
    });
    document.body.append(area);
}

async function pasteEvent(page) {
    await page.evaluate(() => (window.probe.pasted = null));
    await page.focus('#probe-paste');
    await page.keyboard.down('Control');
    await page.keyboard.press('v');
    await page.keyboard.up('Control');
    return page.waitForFunction(() => window.probe.pasted !== null && [window.probe.pasted], {timeout: 5000})
        .then(() => page.evaluate(() => window.probe.pasted), () => 'no paste event');
}

async function readText(page, engine) {
    // WebKit's readText shows a "Paste" button and waits for the user: it is not called.
    if (engine === 'webkit')
        return 'waits for the user to confirm';
    return page.evaluate(() => Promise.race([
        navigator.clipboard.readText().catch((error) => `refused: ${error}`),
        new Promise((resolve) => setTimeout(() => resolve('no answer in 3 s'), 3000))]));
}

const sentinel = 'sentinel \u2603';

async function writeBy(page, how, text) {
    // Whatever a write leaves untouched reads back as the sentinel.
    await page.writeClipboard(sentinel);
    await page.evaluate((t) => {
        window.probe.text = t;
        window.probe.done = null;
        window.probe.written = null;
    }, text);
    await page.click(`#probe-${how}`);
    if (how === 'write') {
        const written = await page.waitForFunction(() => window.probe.written, {timeout: 5000}).catch(() => null);
        const result = await page.evaluate(() => window.probe.written);
        return result ?? (written ? 'ok' : 'no answer');
    }
    return page.evaluate(() => window.probe.done);
}

// What a page alone can learn: set and read back in one copy event (started by the copy
// command inside a click), and in a DataTransfer it makes.
async function selfProbe(page) {
    return page.evaluate((samples) => {
        const results = {};
        for (const [name, text] of samples) {
            const data = new DataTransfer();
            data.setData('text/plain', text);
            results[name] = {dataTransfer: data.getData('text/plain') === text ? 'exact' : data.getData('text/plain')};
        }
        return results;
    }, samples);
}

async function copyEventProbe(page) {
    await page.evaluate((samples) => {
        const b = document.createElement('button');
        b.id = 'probe-self';
        b.style.cssText = 'position:fixed;right:200px;bottom:0;width:40px;height:20px;z-index:9';
        b.addEventListener('click', () => {
            window.probe.self = {};
            for (const [name, text] of samples) {
                document.addEventListener('copy', (event) => {
                    event.clipboardData.setData('text/plain', text);
                    const back = event.clipboardData.getData('text/plain');
                    window.probe.self[name] = back === text ? 'exact' : back;
                    event.preventDefault();
                }, {once: true});
                if (!document.execCommand('copy'))
                    window.probe.self[name] = 'copy command refused';
            }
        });
        document.body.append(b);
    }, samples);
    await page.click('#probe-self');
    return page.evaluate(() => window.probe.self);
}

const site = await serve(path.resolve(options.site));
for (const engine of options.engine ?? engineNames) {
    let browser;
    try {
        browser = await launch(engine, {display: options.headed ? ':93' : undefined});
    } catch (error) {
        console.log(`${engine}: SKIPPED: ${error.message}`);
        continue;
    }
    for (const where of [`file://${path.resolve(options.site)}/codetarvo.html`, `${site.url}codetarvo.html`]) {
        console.log(`== ${engine}${options.headed ? ' (headed)' : ''}, ${where.split(':')[0]}`);
        const page = await browser.open(where);
        await page.evaluate(install);
        for (const [name, text] of samples) {
            const row = [];
            for (const how of ['write', 'command', 'event']) {
                const wrote = await writeBy(page, how, text);
                if (wrote !== 'ok') {
                    row.push(`${how}: write ${wrote}`);
                    continue;
                }
                for (const [reader, read] of [['readText', () => readText(page, engine)], ['paste', () => pasteEvent(page)]]) {
                    const got = await read();
                    const said = typeof got === 'string' && /^(no |waits|refused)/.test(got);
                    row.push(`${how}->${reader}: ${got === text ? 'exact' : got === sentinel ? 'nothing written'
                                                   : said ? got : shown(got)}`);
                }
            }
            console.log(`${name} [${shown(text).slice(0, 50)}]\n   ${row.join('\n   ')}`);
        }
        console.log('self-probe, DataTransfer:', JSON.stringify(await selfProbe(page)));
        console.log('self-probe, copy event:', JSON.stringify(await copyEventProbe(page)));
        await page.close();
    }
    await browser.close();
}
await site.close();
