// SPDX-License-Identifier: GPL-3.0-or-later
// Takes the README's pictures of the page, at desktop width and on a phone:
//   node web/screenshot.mjs [BUILD-WEB] [DOCS]
import path from 'node:path';
import {launch, open} from './tests/chromium.mjs';

const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '..');
const site = path.resolve(process.argv[2] ?? path.join(root, 'build-web'));
const docs = path.resolve(process.argv[3] ?? path.join(root, 'docs'));
const url = `file://${site}/codetarvo.html`;

const browser = await launch();
for (const [name, viewport, clip] of [
         ['web-desktop.png', {width: 660, height: 340}, {x: 0, y: 0, width: 660, height: 340}],
         ['web-phone.png', {width: 360, height: 740, deviceScaleFactor: 2, isMobile: true, hasTouch: true}, null]]) {
    const page = await open(browser, url, viewport);
    await page.focus('#txt1');
    await page.keyboard.down('Control');
    await page.keyboard.press('a');
    await page.keyboard.up('Control');
    await page.keyboard.type('Rendez-vous à 18 h près du kiosque,\nnous irons voir la mer à Étretat.');
    await page.click('#Copie2');
    await page.screenshot({path: path.join(docs, name), ...(clip ? {clip} : {})});
    await page.close();
}
await browser.close();
