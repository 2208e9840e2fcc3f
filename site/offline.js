// Every page of the site loads this (the build adds it to each page's head):
// it registers the site's service worker (sw.js, beside this file), which
// keeps the site for offline use, and tells the page about it:
//   window.tavloOffline.controlled  a promise: true once the service worker
//       answers this page's requests (at once on a later visit; on a first
//       visit when the whole site is kept), false when it never will (no
//       service worker here: an http address other than localhost, a browser
//       without them; or its install failed);
//   'tavlo-site-progress' events on window ({detail: {loaded, total}}) while a
//       version is being fetched.
// When a new version of the site has been fetched while a page of the old one
// is open, a bar offers to reload the page on it; the old version stays
// until then (or until its pages are closed).
(function () {
  'use strict';
  const script = document.currentScript;
  const noWorker = !('serviceWorker' in navigator) || !window.isSecureContext;
  if (noWorker) {
    window.tavloOffline = { controlled: Promise.resolve(false) };
    return;
  }
  const container = navigator.serviceWorker;
  const swUrl = new URL('sw.js', script.src);
  let takingOver = false;

  function offerNewVersion(worker) {
    if (!container.controller || document.getElementById('tavlo-new-version')) return;
    const show = () => {
      const bar = document.createElement('p');
      bar.id = 'tavlo-new-version';
      bar.setAttribute('role', 'status');
      bar.style.cssText = 'position:fixed;left:0;right:0;bottom:0;margin:0;padding:6px 12px;' +
        'background:#ffd;border-top:1px solid #aa8;font:14px sans-serif;z-index:1000';
      bar.textContent = 'A new version of this site has been fetched. ';
      const button = document.createElement('button');
      button.type = 'button';
      button.textContent = 'Reload with it';
      button.onclick = () => {
        takingOver = true;
        worker.postMessage({ type: 'tavlo-take-over' });
      };
      bar.append(button);
      document.body.append(bar);
    };
    if (document.body) show(); else document.addEventListener('DOMContentLoaded', show);
  }

  const controlled = new Promise((resolve) => {
    if (container.controller) resolve(true);
    container.addEventListener('controllerchange', () => {
      resolve(true);
      if (takingOver) location.reload();
    });
    container.register(swUrl.href).then((registration) => {
      const watch = (worker) => {
        if (!worker) return;
        worker.addEventListener('statechange', () => {
          if (worker.state === 'redundant' && !container.controller) resolve(false);
          if (worker.state === 'installed') offerNewVersion(worker);
        });
      };
      if (registration.waiting) offerNewVersion(registration.waiting);
      watch(registration.installing);
      registration.addEventListener('updatefound', () => watch(registration.installing));
      // Active, yet not answering this page (a forced reload): the network serves it.
      if (!registration.installing && !registration.waiting && !container.controller) resolve(false);
    }, () => resolve(false));
  });
  container.addEventListener('message', (event) => {
    const m = event.data || {};
    if (m.type === 'tavlo-site-progress') {
      window.dispatchEvent(new CustomEvent('tavlo-site-progress', { detail: { loaded: m.loaded, total: m.total } }));
    }
  });
  window.tavloOffline = { controlled };
}());
