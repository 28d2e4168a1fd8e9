// SPDX-License-Identifier: GPL-3.0-or-later
// The browser page's speed in each browser engine (after `cmake --workflow --preset web`):
//   node bench/web_bench.mjs [BUILD-WEB] [--engine chromium|firefox|webkit]... [--sizes=10,100]
// - in each engine (all three by default): a keystroke in the plain box and in the code box
//   holding French prose in lines of each size in KiB (10 and 100 by default; 1024 and 4096
//   ask for 1 and 4 MiB), and its code text: from the key press to the page's handling done
//   and both boxes laid out (median of 15); the paste that fills the plain box, to the same
//   point; and start-up from disk to the first usable frame (median of 10 fresh tabs);
// - in Chromium: the cipher's throughput in WebAssembly against the native build
//   (bench/cipher_throughput.cpp built with em++ and c++, -O3 both), as a ratio.
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {parseArgs} from 'node:util';
import {Unavailable, engineNames, launch} from '../web/tests/engines.mjs';

const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '..');
const {values: options, positionals} = parseArgs({allowPositionals: true, options: {
    engine: {type: 'string', multiple: true}, sizes: {type: 'string', default: '10,100'}}});
const site = path.resolve(positionals[0] ?? path.join(root, 'build-web'));
const pageUrl = `file://${site}/codetarvo.html`;
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

// Fills box I with SIZE codes through a paste, then times 15 keystrokes at its end; with
// BARE, in a text area of the same look and text that nothing listens to (the browser's floor).
// Gives the keystroke's median and the paste's time (where a paste event of its own can tell).
async function keystroke(browser, box, size, bare = false) {
    const page = await browser.open(pageUrl);
    const prose = 'Le cœur a ses raisons que la raison ne connaît point.\r\n';
    const plain = prose.repeat(Math.ceil(size / prose.length)).slice(0, size);
    // A paste event of the bench's own is exact in every engine, where their clipboards are
    // not; Firefox gives such an event no text, so there the clipboard and Ctrl+V fill it.
    const pasteMs = await page.evaluate((plain) => {
        const data = new DataTransfer();
        data.setData('text/plain', plain);
        const t0 = performance.now();
        document.getElementById('txt1').dispatchEvent(
            new ClipboardEvent('paste', {clipboardData: data, bubbles: true, cancelable: true}));
        void document.getElementById('txt1').scrollHeight + document.getElementById('txt2').scrollHeight;
        return document.getElementById('txt1').value !== 'Saisie' ? performance.now() - t0 : null;
    }, plain);
    const pasted = pasteMs !== null;
    if (!pasted) {
        await page.writeClipboard(plain);
        await page.focus('#txt1');
        await page.keyboard.down('Control');
        await page.keyboard.press('a');
        await page.keyboard.press('v');
        await page.keyboard.up('Control');
    }
    if (box === 2) {
        // The code box keeps its first SIZE characters: the rest is selected and deleted.
        await page.evaluate((size) => {
            const code = document.getElementById('txt2');
            code.focus();
            code.setSelectionRange(size, code.value.length);
        }, size);
        await page.keyboard.press('Delete');
    }
    const filled = await page.evaluate(() => [0, 1, 2].map((i) => document.getElementById(`txt${i}`).value.length));
    if (filled[1] < size * 0.9 || (box === 2 && filled[2] !== size))
        throw new Error(`${browser.name}: the boxes were not filled: ${filled.join(', ')} characters`);
    await page.evaluate(async (box, bare) => {
        let target = document.getElementById(`txt${box}`);
        if (bare) {
            const copy = document.createElement('textarea');
            copy.className = 'box';
            copy.wrap = 'off';
            copy.style.cssText = 'position:fixed;left:0;top:0;width:553px;height:113px';
            copy.value = target.value;
            document.body.append(copy);
            target = copy;
        }
        target.focus();
        target.setSelectionRange(target.value.length, target.value.length);
        window.times = [];
        target.addEventListener('keydown', () => { window.t0 = performance.now(); });
        target.addEventListener('input', () => {
            void document.getElementById('txt1').scrollHeight + document.getElementById('txt2').scrollHeight;
            window.times.push(performance.now() - window.t0);
        });
    }, box, bare);
    // In the code box '~', above every key code, keeps the code text valid.
    for (let k = 0; k < 15; ++k)
        await page.keyboard.press(box === 1 ? 'KeyE' : '~');
    const times = await page.evaluate(() => window.times);
    await page.close();
    return {keystroke: median(times), paste: pasteMs};
}

// Start-up: from the navigation's start to the first frame after the page became usable.
async function startup(browser) {
    const startups = [];
    for (let run = 0; run < 10; ++run) {
        const tab = await browser.open(pageUrl);
        startups.push(await tab.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => {
            const usable = performance.getEntriesByName('codetarvo-usable')[0].startTime;
            const paint = performance.getEntriesByName('first-contentful-paint')[0]?.startTime ?? usable;
            resolve(Math.max(usable, paint));
        }))));
        await tab.close();
    }
    return median(startups);
}

let chromium = null;
for (const engine of options.engine ?? engineNames) {
    let browser;
    try {
        browser = await launch(engine);
    } catch (error) {
        if (!(error instanceof Unavailable))
            throw error;
        console.log(`${engine}: SKIPPED: ${error.message}`);
        continue;
    }
    const sizes = options.sizes.split(',').map((kib) => Number(kib) * 1024);
    for (const [box, name] of [[1, 'plain'], [2, 'code']]) {
        for (const size of sizes) {
            const timed = await keystroke(browser, box, size);
            const floor = await keystroke(browser, box, size, true);
            console.log(`${engine}: keystroke, ${name} box, ${size / 1024} KiB: ` +
                        `${timed.keystroke.toFixed(1)} ms (a bare text area: ${floor.keystroke.toFixed(1)} ms)` +
                        (box === 1 && timed.paste !== null ? `; the paste filling it: ${timed.paste.toFixed(0)} ms` : ''));
        }
    }
    console.log(`${engine}: start-up from disk to the first usable frame: ${(await startup(browser)).toFixed(0)} ms` +
                ' (median of 10)');
    if (engine === 'chromium')
        chromium = browser;
    else
        await browser.close();
}
if (!chromium)
    process.exit(0);
// The same throughput program, native and in WebAssembly.
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'codetarvo-bench-'));
const sources = ['cipher', 'cipher/engine'].flatMap(
    (d) => fs.readdirSync(path.join(root, d)).filter((f) => f.endsWith('.cpp')).map((f) => path.join(root, d, f)));
const build = (compiler, out, extra) => {
    const result = spawnSync(compiler, ['-std=c++20', '-O3', '-DNDEBUG', `-I${root}/cipher`, ...extra,
                                        path.join(root, 'bench/cipher_throughput.cpp'), ...sources, '-o', out],
                             {stdio: 'inherit', env: {...process.env, NODE_PATH: '/usr/share/nodejs'}});
    if (result.status !== 0)
        throw new Error(`${compiler} failed`);
};
build('c++', path.join(work, 'native'), []);
build('em++', path.join(work, 'wasm.js'), ['-msimd128', '-sSINGLE_FILE', '-sENVIRONMENT=web', '-sALLOW_MEMORY_GROWTH']);
const native = spawnSync(path.join(work, 'native')).stdout.toString().trim();
const page = await chromium.puppeteer.newPage();
const printed = new Promise((resolve) => page.on('console', (m) => m.text().startsWith('coder') && resolve(m.text())));
await page.addScriptTag({content: fs.readFileSync(path.join(work, 'wasm.js'), 'utf8')});
const wasm = await printed;
await page.close();
fs.rmSync(work, {recursive: true, force: true});
const rates = (line) => line.match(/[\d.]+(?= MiB)/g).map(Number);
const [nc, nd] = rates(native), [wc, wd] = rates(wasm);
console.log(`native: ${native}\nwasm:   ${wasm}`);
console.log(`wasm / native: coder ${(wc / nc).toFixed(2)}, decode ${(wd / nd).toFixed(2)}`);
await chromium.close();
