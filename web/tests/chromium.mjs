// SPDX-License-Identifier: GPL-3.0-or-later
// Chromium alone, as the page's pictures are taken: the engines' layer's Chromium, or exit
// SKIPPED when it cannot start here.
import {Skipped, Unavailable, launch as launchEngine} from './engines.mjs';

export {Skipped};

export async function launch() {
    try {
        return await launchEngine('chromium');
    } catch (error) {
        if (!(error instanceof Unavailable))
            throw error;
        console.log(`SKIPPED: ${error.message}`);
        process.exit(Skipped);
    }
}

// A new tab on URL at VIEWPORT, once the page is usable.
export const open = (browser, url, viewport) => browser.open(url, viewport);
