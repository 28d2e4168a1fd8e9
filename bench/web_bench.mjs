// SPDX-License-Identifier: GPL-3.0-or-later
// The browser page's speed in headless Chromium (after `cmake --workflow --preset web`):
//   node bench/web_bench.mjs [BUILD-WEB]
// - a keystroke in the plain box and in the code box holding 10 KiB and 100 KiB (French prose
//   in lines, and its code text): from the key press to the page's handling done and both boxes
//   laid out (median of 15);
// - the cipher's throughput in WebAssembly against the native build (bench/cipher_throughput.cpp
//   built with em++ and c++, -O3 both), as a ratio;
// - start-up from disk to the first usable frame (median of 10 fresh tabs).
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {launch, open} from '../web/tests/chromium.mjs';

const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '..');
const site = path.resolve(process.argv[2] ?? path.join(root, 'build-web'));
const pageUrl = `file://${site}/codetarvo.html`;
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

const browser = await launch();

// Fills box I with SIZE codes through a paste, then times 15 keystrokes at its end; with
// BARE, in a text area of the same look and text that nothing listens to (the browser's floor).
async function keystroke(box, size, bare = false) {
    const page = await open(browser, pageUrl);
    await page.evaluate(async (box, size, bare) => {
        const prose = 'Le cœur a ses raisons que la raison ne connaît point.\r\n';
        const plain = prose.repeat(Math.ceil(size / prose.length)).slice(0, size);
        const paste = (i, text) => {
            const data = new DataTransfer();
            data.setData('text/plain', text);
            document.getElementById(`txt${i}`).dispatchEvent(
                new ClipboardEvent('paste', {clipboardData: data, bubbles: true, cancelable: true}));
        };
        paste(1, plain);
        if (box === 2) {
            await navigator.clipboard.writeText('');
            document.getElementById('Copie2').click();
            let code = '';
            while (!code)
                code = await navigator.clipboard.readText();
            paste(2, code.slice(0, size));
        }
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
    }, box, size, bare);
    // In the code box '~', above every key code, keeps the code text valid.
    for (let k = 0; k < 15; ++k)
        await page.keyboard.press(box === 1 ? 'KeyE' : '~');
    const times = await page.evaluate(() => window.times);
    await page.close();
    return median(times);
}

for (const [box, name] of [[1, 'plain'], [2, 'code']])
    for (const size of [10240, 102400])
        console.log(`keystroke, ${name} box, ${size / 1024} KiB: ${(await keystroke(box, size)).toFixed(1)} ms` +
                    ` (a bare text area: ${(await keystroke(box, size, true)).toFixed(1)} ms)`);
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
build('em++', path.join(work, 'wasm.js'), ['-sSINGLE_FILE', '-sENVIRONMENT=web', '-sALLOW_MEMORY_GROWTH']);
const native = spawnSync(path.join(work, 'native')).stdout.toString().trim();
const page = await browser.newPage();
const printed = new Promise((resolve) => page.on('console', (m) => m.text().startsWith('coder') && resolve(m.text())));
await page.addScriptTag({content: fs.readFileSync(path.join(work, 'wasm.js'), 'utf8')});
const wasm = await printed;
await page.close();
fs.rmSync(work, {recursive: true, force: true});
const rates = (line) => line.match(/[\d.]+(?= MiB)/g).map(Number);
const [nc, nd] = rates(native), [wc, wd] = rates(wasm);
console.log(`native: ${native}\nwasm:   ${wasm}`);
console.log(`wasm / native: coder ${(wc / nc).toFixed(2)}, decode ${(wd / nd).toFixed(2)}`);

// Start-up: from the navigation's start to the first frame after the page became usable.
const startups = [];
for (let run = 0; run < 10; ++run) {
    const tab = await open(browser, pageUrl);
    startups.push(await tab.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => {
        const usable = performance.getEntriesByName('codetarvo-usable')[0].startTime;
        const paint = performance.getEntriesByName('first-contentful-paint')[0]?.startTime ?? usable;
        resolve(Math.max(usable, paint));
    }))));
    await tab.close();
}
console.log(`start-up from disk to the first usable frame: ${median(startups).toFixed(0)} ms (median of 10)`);
await browser.close();
