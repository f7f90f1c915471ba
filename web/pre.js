// Before the program starts: the page's notices (no WebHID here, opened
// from disk, the program stopped), the offline copy of the site, and, in
// another page's frame, the page's size for that page.
var Module = typeof Module !== 'undefined' ? Module : {};

(function() {
  if (typeof document === 'undefined') return;
  var notice = function(text) {
    var p = document.getElementById('aviso');
    if (!p) return;
    p.textContent = text;
    p.hidden = false;
  };
  // A browser fetches nothing from a page opened as a file: the program
  // would never arrive. Say how to serve it instead of trying.
  var fromDisk = location.protocol === 'file:';
  if (fromDisk) Module.instantiateWasm = function() { return {}; };
  // In a frame: no desk around the window, and the page's size goes to the
  // page around it (tolvanex-updater-element.js sizes the frame by it). The
  // list of releases gets the frame's height that the rest leaves (--room):
  // a frame made taller shows more of it.
  function embedded() {
    var root = document.documentElement;
    root.classList.add('embedded');
    seen(root);
    if (typeof ResizeObserver === 'undefined') return;
    var desk;
    var fit = function() {
      var list = desk.querySelector('#IDD_RELEASES .list');
      var rest = desk.getBoundingClientRect().height - (list ? list.getBoundingClientRect().height : 0);
      root.style.setProperty('--room', Math.max(0, Math.floor(root.clientHeight - rest)) + 'px');
      var r = desk.getBoundingClientRect();
      window.parent.postMessage({tolvanexUpdater: {width: Math.ceil(r.width), height: Math.ceil(r.height)}}, '*');
    };
    // Once the program's code is there: the desk as the window layer finds
    // it (ui/web/WebWindowPlatform.js).
    (Module.preRun = Module.preRun || []).push(function() {
      desk = TvxWnd.desk();
      new ResizeObserver(fit).observe(desk);
      window.addEventListener('resize', fit);
    });
  }
  // The part of the frame in view on the page around it (the frame may be
  // far taller than that page's window, or scrolled partly out of it), as
  // insets of the frame's own view (--seen-top …): the boxes open there.
  // The page around tells nothing; the frame learns it by watching an
  // element as large as its view, to a hundredth of it.
  function seen(root) {
    if (typeof IntersectionObserver === 'undefined') return;
    var view = document.createElement('div');
    view.className = 'view';
    view.setAttribute('aria-hidden', 'true');
    document.body.append(view);
    var steps = [];
    for (var i = 0; i <= 100; ++i) steps.push(i / 100);
    new IntersectionObserver(function(entries) {
      var r = entries[entries.length - 1].intersectionRect;
      var inView = r.width > 0 && r.height > 0;
      var insets = {top: r.top, right: innerWidth - r.right, bottom: innerHeight - r.bottom, left: r.left};
      for (var side in insets) {
        if (inView) root.style.setProperty('--seen-' + side, Math.max(0, Math.round(insets[side])) + 'px');
        else root.style.removeProperty('--seen-' + side);
      }
    }, {threshold: steps}).observe(view);
  }
  var start = function() {
    if (fromDisk) {
      notice('Esta página no funciona abierta como archivo: debe servirla un servidor web. En la carpeta de la página, ' +
             'ejecute «python3 -m http.server --bind 127.0.0.1 8000» y abra http://127.0.0.1:8000/ en Chrome, Edge ' +
             'u Opera; o use la página publicada en la web del fabricante.');
    } else if (!('hid' in navigator)) {
      notice(window.isSecureContext === false
        ? 'Para actualizar el mando, esta página debe abrirse por HTTPS (o desde localhost) en Chrome, Edge u Opera. ' +
          'Aquí puede abrir un archivo HEX y ver su checksum.'
        : 'Este navegador no puede comunicarse con el mando (le falta WebHID). Para actualizarlo, use Chrome, Edge u ' +
          'Opera en Windows, macOS, Linux o ChromeOS. Aquí puede abrir un archivo HEX y ver su checksum.');
    }
    if (window.parent !== window) embedded();
  };
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else start();
  Module.onAbort = function() {
    notice('El actualizador se ha detenido por un error. Recargue la página para empezar de nuevo.');
  };

  // Offline: the service worker keeps the site. When a new version takes
  // over, a page that nobody has touched yet reloads into it: it may have
  // loaded files of both. A page in use keeps the version it runs, which it
  // holds whole in memory; the next visit opens the new one.
  if (fromDisk || !('serviceWorker' in navigator)) return;
  var controlled = !!navigator.serviceWorker.controller;
  var touched = false;
  ['pointerdown', 'keydown', 'drop'].forEach(function(type) {
    window.addEventListener(type, function() { touched = true; }, {capture: true, once: true});
  });
  navigator.serviceWorker.addEventListener('controllerchange', function() {
    if (controlled && !touched) location.reload();
    controlled = true;
  });
  window.addEventListener('load', function() {
    navigator.serviceWorker.register('tolvanex-updater-sw.js').catch(function() {
      // No offline copy (a private window, storage refused): the page works online.
    });
  });
})();
