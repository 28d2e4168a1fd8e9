// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps the page and its app files for use offline: fetched once at installation, then
// served from the cache first. A new page comes with a new cache name, and the old cache goes.
const CACHE = '@CACHE@';
const FILES = ['codetarvo.html', 'manifest.webmanifest', 'icons/codetarvo-192.png',
               'icons/codetarvo-512.png'];

self.addEventListener('install', (event) => {
    event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(FILES))
                        .then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
    event.waitUntil(caches.keys()
                        .then((names) => Promise.all(
                                  names.filter((n) => n !== CACHE).map((n) => caches.delete(n))))
                        .then(() => self.clients.claim()));
});

self.addEventListener('fetch', (event) => {
    if (event.request.method !== 'GET')
        return;
    event.respondWith(caches.match(event.request, {ignoreSearch: true})
                          .then((hit) => hit || fetch(event.request)));
});
