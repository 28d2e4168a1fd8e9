// SPDX-License-Identifier: GPL-3.0-or-later
// The browser engines the page's test and benchmark drive, behind one small interface:
// Debian's Chromium (puppeteer-core over the DevTools protocol), Firefox ESR (puppeteer-core
// over WebDriver BiDi) and WebKitGTK (its WebDriver server, WebKitWebDriver, through
// selenium-webdriver, under an X server of its own). Each engine starts with a fresh profile.
//
// launch(name) gives a browser: open(url, viewport) gives a tab with the calls of puppeteer's
// Page that the tests use (evaluate, focus, click, tap, keyboard, waitForFunction, title, $,
// $eval, $$eval, reload, close, errors), and two of its own that reach the clipboard as a
// person would in that engine: writeClipboard(text) and readClipboard().
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';
import {Builder, By, Key} from 'selenium-webdriver';
import {Pointer} from 'selenium-webdriver/lib/input.js';

export const Skipped = 77;
export const engineNames = ['chromium', 'firefox', 'webkit'];

// An engine that cannot start here: the test skips it with this reason.
export class Unavailable extends Error {}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Starts engine NAME; throws Unavailable when it cannot start here. With DISPLAY, Chromium
// and Firefox show their windows on that X display instead of running headless.
export async function launch(name, {display} = {}) {
    const start = {chromium: launchChromium, firefox: launchFirefox, webkit: launchWebKit}[name];
    if (!start)
        throw new Error(`no engine ${name}; the engines: ${engineNames.join(', ')}`);
    return start(display);
}

// A profile folder removed when the browser closes.
function profile(name) {
    return fs.mkdtempSync(path.join(os.tmpdir(), `codetarvo-${name}-`));
}

function needs(file, name) {
    if (!fs.existsSync(file))
        throw new Unavailable(`${name} is not installed (${file}; dev/install-web-deps installs it)`);
}

// Chromium and Firefox: puppeteer's own Page, given the two clipboard calls. Both engines'
// asynchronous clipboard is open to the page here (Chromium's by the permission granted at
// launch, Firefox's to a page reading what it wrote itself).
function puppeteerBrowser(name, browser, dir) {
    return {
        name,
        puppeteer: browser,
        async open(url, viewport = {width: 800, height: 400}) {
            const page = await browser.newPage();
            page.errors = [];
            page.on('pageerror', (error) => page.errors.push(error.message));
            // What the page's policy refuses is an error of the page's (Firefox reports it as one).
            page.on('console', (message) => {
                if (message.type() === 'error' && /Content.Security.Policy/i.test(message.text()))
                    page.errors.push(message.text());
            });
            page.writeClipboard = (text) => page.evaluate((t) => navigator.clipboard.writeText(t), text);
            page.readClipboard = () => page.evaluate(() => navigator.clipboard.readText());
            await page.setViewport(viewport);
            await page.goto(url);
            await page.waitForSelector('html[data-ready]', {timeout: 60000});
            return page;
        },
        async close() {
            await browser.close();
            fs.rmSync(dir, {recursive: true, force: true});
        },
    };
}

const headed = (display) => ({headless: !display, env: display ? {...process.env, DISPLAY: display} : process.env});

async function launchChromium(display) {
    const executablePath = '/usr/bin/chromium';
    needs(executablePath, 'Chromium');
    const dir = profile('chromium');
    try {
        const browser = await puppeteer.launch({
            executablePath,
            ...headed(display),
            protocolTimeout: 120000,
            args: [...(display ? [] : ['--headless']), '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                   '--disable-background-networking', '--disable-component-update', '--disable-sync',
                   `--user-data-dir=${dir}`],
        });
        // The Copy buttons and the tests reach the clipboard as a person who allowed it.
        const session = await browser.target().createCDPSession();
        await session.send('Browser.grantPermissions',
                           {permissions: ['clipboardReadWrite', 'clipboardSanitizedWrite']});
        return puppeteerBrowser('chromium', browser, dir);
    } catch (error) {
        fs.rmSync(dir, {recursive: true, force: true});
        throw new Unavailable(`Chromium (${executablePath}) cannot start here: ${error.message}`);
    }
}

async function launchFirefox(display) {
    const executablePath = '/usr/bin/firefox-esr';
    needs(executablePath, 'Firefox ESR');
    const dir = profile('firefox');
    try {
        const browser = await puppeteer.launch({
            browser: 'firefox',
            executablePath,
            ...headed(display),
            protocolTimeout: 120000,
            userDataDir: dir,
            extraPrefsFirefox: {'browser.shell.checkDefaultBrowser': false},
        });
        return puppeteerBrowser('firefox', browser, dir);
    } catch (error) {
        fs.rmSync(dir, {recursive: true, force: true});
        throw new Unavailable(`Firefox ESR (${executablePath}) cannot start here: ${error.message}`);
    }
}

// Starts Xvfb on a display it finds free (or on $CODETARVO_TEST_DISPLAY); gives
// {display, stop()}.
async function startXvfb() {
    const wanted = process.env.CODETARVO_TEST_DISPLAY;
    const args = ['-screen', '0', '1280x1024x24', '-nolisten', 'tcp', '-noreset'];
    const xvfb = spawn('Xvfb', wanted ? [wanted, ...args] : ['-displayfd', '3', ...args],
                       {stdio: ['ignore', 'ignore', 'pipe', 'pipe']});
    let stderr = '';
    xvfb.stderr.on('data', (data) => (stderr += data));
    const display = await new Promise((resolve, reject) => {
        xvfb.on('error', (error) => reject(new Unavailable(`Xvfb cannot start: ${error.message}`)));
        xvfb.on('exit', (code) => reject(new Unavailable(`Xvfb ended (${code}): ${stderr.trim()}`)));
        if (wanted)
            sleep(500).then(() => resolve(wanted));
        else
            xvfb.stdio[3].on('data', (data) => resolve(`:${String(data).trim()}`));
        sleep(20000).then(() => reject(new Unavailable(`Xvfb gave no display: ${stderr.trim()}`)));
    });
    xvfb.removeAllListeners('exit');
    return {display, stop: () => xvfb.kill()};
}

function freePort() {
    return new Promise((resolve, reject) => {
        const server = net.createServer();
        server.on('error', reject);
        server.listen(0, '127.0.0.1', () => {
            const {port} = server.address();
            server.close(() => resolve(port));
        });
    });
}

async function launchWebKit() {
    const driverPath = '/usr/bin/WebKitWebDriver';
    const binary = '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
    needs(driverPath, 'WebKitGTK\'s WebDriver');
    needs(binary, 'WebKitGTK\'s MiniBrowser');
    const dir = profile('webkit');
    const stops = [() => fs.rmSync(dir, {recursive: true, force: true})];
    const stop = () => {
        stops.reverse().forEach((f) => f());
        stops.length = 0;
    };
    // Nothing outlives the test, even one that ends on an error.
    process.on('exit', stop);
    try {
        const xvfb = await startXvfb();
        stops.push(xvfb.stop);
        const port = await freePort();
        // The web process sandbox needs user namespaces, which a container run as root lacks;
        // the tests open only this program's page.
        const env = {...process.env, DISPLAY: xvfb.display, HOME: dir, XDG_CONFIG_HOME: dir,
                     XDG_CACHE_HOME: dir, XDG_DATA_HOME: dir, WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS: '1'};
        // In a process group of its own, which holds the browser it starts: ended as one.
        const server = spawn(driverPath, [`--port=${port}`], {env, stdio: ['ignore', 'ignore', 'pipe'],
                                                              detached: true});
        let log = '';
        server.stderr.on('data', (data) => (log += data));
        stops.push(() => {
            try {
                process.kill(-server.pid);
            } catch {
                // Already ended.
            }
        });
        const url = `http://127.0.0.1:${port}`;
        for (let tries = 0;; ++tries) {
            if (server.exitCode !== null)
                throw new Error(`WebKitWebDriver ended: ${log.trim()}`);
            if (await fetch(`${url}/status`).then((r) => r.ok, () => false))
                break;
            if (tries > 100)
                throw new Error('WebKitWebDriver does not answer');
            await sleep(100);
        }
        const driver = await new Builder().usingServer(url).withCapabilities({
            browserName: 'MiniBrowser',
            'webkitgtk:browserOptions': {binary, args: ['--automation']},
        }).build();
        return new WebKitBrowser(driver, stop);
    } catch (error) {
        stop();
        throw new Unavailable(`WebKitGTK cannot start here: ${error.message}`);
    }
}

// WebKitGTK through WebDriver: one window per tab, the driver switched to a tab's window
// before each of its calls.
class WebKitBrowser {
    constructor(driver, stop) {
        this.name = 'webkit';
        this.driver = driver;
        this.stop = stop;
        this.unused = true; // the window the session opened with, still to be used
        this.current = null;
    }

    async open(url, viewport = {width: 800, height: 400}) {
        if (this.unused)
            this.unused = false;
        else
            await this.driver.switchTo().newWindow('window');
        const page = new WebKitPage(this, await this.driver.getWindowHandle());
        this.current = page.handle;
        await page.setViewport(viewport);
        await this.driver.get(url);
        await page.waitForSelector('html[data-ready]', {timeout: 60000});
        return page;
    }

    async close() {
        await this.driver.quit().catch(() => {});
        this.stop();
    }
}

// The names puppeteer gives keys, as WebDriver's keys.
const webDriverKeys = {Control: Key.CONTROL, Shift: Key.SHIFT, Alt: Key.ALT, Backspace: Key.BACK_SPACE,
                       Delete: Key.DELETE, Enter: Key.ENTER, Tab: Key.TAB, Escape: Key.ESCAPE,
                       ArrowLeft: Key.ARROW_LEFT, ArrowRight: Key.ARROW_RIGHT, End: Key.END, Home: Key.HOME,
                       '\n': Key.ENTER};
const webDriverKey = (key) => webDriverKeys[key] ?? (/^Key[A-Z]$/.test(key) ? key.slice(3).toLowerCase() : key);

// What the page under WebDriver needs beside it: script errors kept, and a key (F9, which the
// page leaves alone) that writes a given text to the clipboard in its own keydown, since
// WebKit lets the asynchronous clipboard be written only in answer to a user's action.
function installHelpers() {
    if (window.codetarvoTest)
        return;
    const test = (window.codetarvoTest = {errors: [], text: null, written: null, pasted: null});
    addEventListener('error', (event) => test.errors.push(event.message));
    addEventListener('unhandledrejection', (event) => test.errors.push(String(event.reason)));
    addEventListener('keydown', (event) => {
        if (event.key !== 'F9' || test.text === null)
            return;
        event.preventDefault();
        event.stopImmediatePropagation();
        navigator.clipboard.writeText(test.text).then(() => (test.written = 'ok'),
                                                      (error) => (test.written = String(error)));
        test.text = null;
    }, true);
}

class WebKitPage {
    constructor(browser, handle) {
        this.browser = browser;
        this.driver = browser.driver;
        this.handle = handle;
        this.held = [];
        this.viewport = null;
        const press = (keys) => this.actions((a) => {
            for (const key of keys)
                a.sendKeys(key);
        });
        this.keyboard = {
            down: async (key) => void this.held.push(webDriverKey(key)),
            up: async (key) => void this.held.splice(this.held.indexOf(webDriverKey(key)), 1),
            press: (key) => press([webDriverKey(key)]),
            type: (text) => press([...text].map((c) => webDriverKeys[c] ?? c)),
        };
    }

    get errors() {
        return this.lastErrors ?? [];
    }

    async use() {
        if (this.browser.current !== this.handle) {
            await this.driver.switchTo().window(this.handle);
            this.browser.current = this.handle;
        }
        return this.driver;
    }

    // Performs the actions BUILD adds, the modifiers held down around them.
    async actions(build) {
        const driver = await this.use();
        const a = driver.actions();
        for (const key of this.held)
            a.keyDown(key);
        build(a);
        for (const key of [...this.held].reverse())
            a.keyUp(key);
        await a.perform();
    }

    async evaluate(fn, ...args) {
        const driver = await this.use();
        const result = await driver.executeAsyncScript(
            `const done = arguments[arguments.length - 1];
             new Promise((resolve) => resolve((${fn})(...arguments[0])))
                 .then((value) => done({value}), (error) => done({error: String(error && error.stack || error)}));`,
            args);
        if (result.error !== undefined)
            throw new Error(`in WebKit: ${result.error}`);
        await this.collectErrors();
        return result.value ?? undefined;
    }

    async collectErrors() {
        this.lastErrors = await this.driver.executeScript('return window.codetarvoTest ? window.codetarvoTest.errors : []');
    }

    async setViewport({width, height}) {
        // The window's frame and toolbar take their share of the window: the viewport is what
        // is left. MiniBrowser's window is no narrower than its toolbar (447 pixels here), which
        // is still a phone's layout (below 640).
        const driver = await this.use();
        const rect = await driver.manage().window().getRect();
        const inner = await driver.executeScript('return [innerWidth, innerHeight]');
        await driver.manage().window().setRect({x: 0, y: 0, width: width + rect.width - inner[0],
                                               height: height + rect.height - inner[1]});
        this.viewport = {width, height};
    }

    async waitForSelector(selector, {timeout = 30000} = {}) {
        await this.waitForFunction((s) => document.querySelector(s) !== null, {timeout}, selector);
        const driver = await this.use();
        await driver.executeScript(`(${installHelpers})()`);
    }

    async waitForFunction(fn, {timeout = 30000, polling = 100} = {}, ...args) {
        const until = Date.now() + timeout;
        for (;;) {
            const value = await this.evaluate(fn, ...args).catch((error) => {
                if (Date.now() > until)
                    throw error;
                return null;
            });
            if (value)
                return value;
            if (Date.now() > until)
                throw new Error(`in WebKit: waited ${timeout} ms for ${fn}`);
            await sleep(polling);
        }
    }

    async focus(selector) {
        await this.evaluate((s) => document.querySelector(s).focus(), selector);
    }

    async click(selector) {
        const driver = await this.use();
        await driver.findElement(By.css(selector)).click();
    }

    // A finger's tap; WebKitGTK's driver gives the page a mouse's click for it, and one where
    // it refuses touch input.
    async tap(selector) {
        const driver = await this.use();
        const element = await driver.findElement(By.css(selector));
        try {
            const finger = new Pointer('finger', Pointer.Type.TOUCH);
            await driver.actions().insert(finger, finger.move({origin: element}), finger.press(), finger.release())
                .perform();
        } catch {
            await element.click();
        }
    }

    async title() {
        return (await this.use()).getTitle();
    }

    // The first element SELECTOR finds, or null; 'aria/NAME' finds the element whose accessible
    // name, as the engine computes it, is NAME.
    async $(selector) {
        const name = selector.match(/^aria\/(.*)$/s)?.[1];
        const driver = await this.use();
        if (name === undefined)
            return (await driver.findElements(By.css(selector)))[0] ?? null;
        for (const element of await driver.findElements(By.css('body *')))
            if ((await element.getAccessibleName().catch(() => '')) === name)
                return element;
        return null;
    }

    // FN of the first element SELECTOR finds, and of all of them.
    $eval(selector, fn, ...args) {
        return this.evaluate(`(s, ...a) => (${fn})(document.querySelector(s), ...a)`, selector, ...args);
    }

    $$eval(selector, fn, ...args) {
        return this.evaluate(`(s, ...a) => (${fn})([...document.querySelectorAll(s)], ...a)`, selector, ...args);
    }

    async reload() {
        await (await this.use()).navigate().refresh();
    }

    async close() {
        const driver = await this.use();
        const handles = await driver.getAllWindowHandles();
        if (handles.length === 1) {
            // The session ends with its last window: the next tab reuses this one.
            await driver.get('about:blank');
            this.browser.unused = true;
            return;
        }
        await driver.close();
        this.browser.current = null;
        await driver.switchTo().window(handles.find((h) => h !== this.handle));
        this.browser.current = await driver.getWindowHandle();
    }

    // Performs the key presses ACT until the page shows, by DONE, that it took them; on a very
    // busy machine WebKit's driver can lose keys (a key that comes late does nothing more).
    async pressUntil(act, done) {
        for (let attempt = 1; ; ++attempt) {
            await this.actions(act);
            const result = await this.waitForFunction(done, {timeout: 10000}).catch((error) => {
                if (attempt === 3)
                    throw error;
                return null;
            });
            if (result !== null)
                return result;
        }
    }

    // Writes TEXT with the asynchronous clipboard in answer to a key press.
    async writeClipboard(text) {
        await this.evaluate((t) => {
            window.codetarvoTest.text = t;
            window.codetarvoTest.written = null;
        }, text);
        const written = await this.pressUntil((a) => a.sendKeys(Key.F9), () => window.codetarvoTest.written);
        if (written !== 'ok')
            throw new Error(`in WebKit: the clipboard refused the text: ${written}`);
    }

    // Reads the clipboard as a paste does: Ctrl+V in a text area of the test's own, whose paste
    // event gives the text; the focus and selection are given back after. (WebKit's
    // navigator.clipboard.readText waits for the user to confirm a paste.)
    async readClipboard() {
        await this.evaluate(() => {
            const test = window.codetarvoTest;
            test.pasted = null;
            const back = document.activeElement;
            const range = back && 'selectionStart' in back ? [back.selectionStart, back.selectionEnd] : null;
            const area = document.createElement('textarea');
            area.style.cssText = 'position:fixed;left:0;top:0;width:4px;height:4px;opacity:0';
            area.addEventListener('paste', (event) => {
                event.preventDefault();
                test.pasted = event.clipboardData.getData('text/plain');
                area.remove();
                back?.focus();
                if (range)
                    back.setSelectionRange(...range);
            });
            document.body.append(area);
            area.focus();
            test.pasteArea = area;
        });
        // Pressed again, Ctrl+V pastes into the test's text area once more.
        await this.pressUntil((a) => a.keyDown(Key.CONTROL).sendKeys('v').keyUp(Key.CONTROL), () => {
            const test = window.codetarvoTest;
            if (test.pasted === null && test.pasteArea.isConnected)
                test.pasteArea.focus();
            return test.pasted !== null;
        });
        return this.evaluate(() => window.codetarvoTest.pasted);
    }
}

// Serves the files of SITE on 127.0.0.1 until close(); gives {url, requests, close}, REQUESTS
// the path of every request received.
export async function serve(site) {
    const types = {'.html': 'text/html', '.js': 'text/javascript', '.png': 'image/png',
                   '.webmanifest': 'application/manifest+json'};
    const requests = [];
    const server = http.createServer((request, response) => {
        requests.push(request.url);
        const file = path.join(site, path.normalize(new URL(request.url, 'http://x').pathname));
        if (!file.startsWith(site) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
            response.writeHead(404).end();
            return;
        }
        response.writeHead(200, {'Content-Type': types[path.extname(file)] ?? 'application/octet-stream'});
        fs.createReadStream(file).pipe(response);
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    return {url: `http://127.0.0.1:${server.address().port}/`, requests,
            close: () => new Promise((resolve) => {
                server.close(resolve);
                server.closeAllConnections();
            })};
}
