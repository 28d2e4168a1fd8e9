// SPDX-License-Identifier: GPL-3.0-or-later
// What the page's test and benchmark share: Debian's Chromium, headless, with a fresh
// profile, and the page opened from disk or served from this machine.
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

export const Skipped = 77;

// Chromium with a profile of its own, or exit SKIPPED when it cannot start here.
export async function launch() {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'codetarvo-chromium-'));
    try {
        const browser = await puppeteer.launch({
            executablePath: '/usr/bin/chromium',
            headless: true,
            protocolTimeout: 120000,
            args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                   '--disable-background-networking', '--disable-component-update', '--disable-sync',
                   `--user-data-dir=${profile}`],
        });
        // The Copy buttons and the tests reach the clipboard as a person who allowed it.
        const session = await browser.target().createCDPSession();
        await session.send('Browser.grantPermissions',
                           {permissions: ['clipboardReadWrite', 'clipboardSanitizedWrite']});
        const close = browser.close.bind(browser);
        browser.close = async () => {
            await close();
            fs.rmSync(profile, {recursive: true, force: true});
        };
        return browser;
    } catch (error) {
        fs.rmSync(profile, {recursive: true, force: true});
        console.log(`SKIPPED: Chromium (/usr/bin/chromium) cannot start here: ${error.message}`);
        process.exit(Skipped);
    }
}

// A new tab on URL at VIEWPORT, once the page is usable; any script error in it fails.
export async function open(browser, url, viewport = {width: 800, height: 400}) {
    const page = await browser.newPage();
    page.errors = [];
    page.on('pageerror', (error) => page.errors.push(error.message));
    await page.setViewport(viewport);
    await page.goto(url);
    await page.waitForSelector('html[data-ready]', {timeout: 60000});
    return page;
}

// Serves the files of SITE on 127.0.0.1 until close(); gives {url, close}.
export async function serve(site) {
    const types = {'.html': 'text/html', '.js': 'text/javascript', '.png': 'image/png',
                   '.webmanifest': 'application/manifest+json'};
    const server = http.createServer((request, response) => {
        const file = path.join(site, path.normalize(new URL(request.url, 'http://x').pathname));
        if (!file.startsWith(site) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
            response.writeHead(404).end();
            return;
        }
        response.writeHead(200, {'Content-Type': types[path.extname(file)] ?? 'application/octet-stream'});
        fs.createReadStream(file).pipe(response);
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    return {url: `http://127.0.0.1:${server.address().port}/`,
            close: () => new Promise((resolve) => server.close(resolve))};
}
