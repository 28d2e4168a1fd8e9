// SPDX-License-Identifier: GPL-3.0-or-later
// Put at the start of emscripten's glue, in its scope. The WebAssembly is inside the glue as a
// data: URL; with no fetch in sight the glue decodes it in place rather than fetching that URL,
// which the page's Content-Security-Policy (connect-src 'none') refuses.
var fetch = undefined;
