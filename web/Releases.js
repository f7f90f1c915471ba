// The fetches of the maker's published releases: firmware.json beside the
// page, its files from the same site only. web/Releases.cpp reads the
// catalogue, lists it in the release chooser's window and checks and loads
// each file. A site without it shows nothing; one that is not a catalogue
// is told, and the user's own file still works.

mergeInto(LibraryManager.library, {
  $TvxReleases__deps: ['$TvxLane', '$TvxWnd', '$stringToNewUTF8'],
  $TvxReleases: {
    catalogue: null,  // the catalogue's URL
    choice: 0,        // counts the user's choices: only the latest one loads
    download: null,   // the release's download under way: its AbortController
    early: [],        // fetches made before the offline copy took over
    // A fetch from the site. On the first visit the page's service worker
    // takes over only after the page has fetched the catalogue (and the
    // release that ?version= names): those fetches are made again through
    // it once it does, so that it keeps them for offline use.
    get: function(url, most, init) {
      // The service worker (web/tolvanex-updater-sw.js) fetches no more.
      init.headers = {'Tolvanex-Most-Bytes': String(most)};
      var worker = navigator.serviceWorker;
      if (worker && !worker.controller) {
        if (!TvxReleases.early.length) {
          worker.addEventListener('controllerchange', function() {
            TvxReleases.early.forEach(function(f) {
              // Read to its end: what the worker passes on is what it keeps.
              fetch(f[0], f[1]).then(function(r) { return r.arrayBuffer(); }).catch(function() {});
            });
            TvxReleases.early = [];
          }, {once: true});
        }
        TvxReleases.early.push([url, init]);
      }
      return fetch(url, init);
    },
    // The first `most` bytes of a response's body, all of a shorter one;
    // the rest is never fetched.
    body: function(response, most) {
      if (!response.body) {
        return response.arrayBuffer().then(function(b) {
          return new Uint8Array(b, 0, Math.min(b.byteLength, most));
        });
      }
      var reader = response.body.getReader();
      var chunks = [], size = 0;
      var next = function() {
        return reader.read().then(function(r) {
          if (!r.done) {
            chunks.push(r.value);
            size += r.value.length;
            if (size < most) return next();
            reader.cancel().catch(function() {});
          }
          var bytes = new Uint8Array(Math.min(size, most)), at = 0;
          chunks.forEach(function(c) {
            var n = Math.min(c.length, bytes.length - at);
            bytes.set(c.subarray(0, n), at);
            at += n;
          });
          return bytes;
        });
      };
      return next();
    },
    field: function(index, field) {
      return UTF8ToString(_tvx_releases_field(index, field));
    },
    // The chooser's line above the list; empty hides it.
    say: function(text) {
      var p = stringToNewUTF8(text);
      TvxLane.now(function() { _tvx_releases_say(p); });
      _free(p);
    },
    // Another choice (a file opened or dropped) ends a download under way.
    listen: function() {
      if (TvxReleases.listening) return;
      TvxReleases.listening = true;
      window.addEventListener('tvx-file-chosen', function() { TvxReleases.drop(); });
    },
    // The catalogue's bytes to the program, which reads them. The release
    // that a link names is loaded unless the user chose since the page
    // opened (choice no longer `asked`): the user's choice wins.
    read: function(bytes, asked) {
      var data = _malloc(bytes.length + 1);
      HEAPU8.set(bytes, data);
      var read = 0;
      TvxLane.now(function() { read = _tvx_releases_read(data, bytes.length); });
      _free(data);
      if (!read) return;
      var wanted = new URLSearchParams(location.search).get('version');
      if (wanted === null || asked !== TvxReleases.choice) return;
      // Only a version is repeated: a link's other words are not the site's.
      // Its length goes along, so that a NUL in it does not end it early.
      var p = stringToNewUTF8(wanted);
      var index = _tvx_releases_find(p, lengthBytesUTF8(wanted));
      _free(p);
      if (index >= 0) TvxReleases.choose(index);
      else if (index === -1) TvxReleases.say('Este sitio no publica la versión «' + wanted + '»; elija una de la lista.');
      else TvxReleases.say('El enlace no indica una versión de la lista; elija una.');
    },
    // The download under way, if any, gives way to a newer choice: it is
    // stopped, and its answer, should it come all the same, is dropped.
    drop: function() {
      ++TvxReleases.choice;
      if (!TvxReleases.download) return;
      TvxReleases.download.abort();
      TvxReleases.download = null;
      // Told while the program may be in the midst of the choice: the line
      // is cleared once it is out, unless another download began.
      setTimeout(function() { if (!TvxReleases.download) TvxReleases.say(''); });
    },
    // Downloads the release's file and hands it to the program, which
    // checks and loads it; never sends it anywhere.
    choose: function(index) {
      TvxReleases.drop();
      var choice = TvxReleases.choice;
      var download = TvxReleases.download = new AbortController();
      var version = TvxReleases.field(index, 0);
      TvxReleases.say('Descargando la versión ' + version + '…');
      var url = new URL(TvxReleases.field(index, 2), TvxReleases.catalogue);
      var most = _tvx_releases_most(1);
      TvxReleases.get(url, most, {signal: download.signal}).then(function(response) {
        if (!response.ok) throw new Error('el servidor responde ' + response.status);
        return TvxReleases.body(response, most);
      }).then(function(bytes) {
        TvxReleases.hand(index, bytes, null, choice);
      }, function(e) {
        TvxReleases.hand(index, null, e instanceof TypeError ? 'no hay conexión con el sitio' : e.message, choice);
      });
    },
    hand: function(index, bytes, failure, choice) {
      if (choice !== TvxReleases.choice) return;
      var data = 0, size = 0, why = 0;
      if (bytes) {
        size = bytes.length;
        data = _malloc(size + 1);
        HEAPU8.set(bytes, data);
      } else {
        why = stringToNewUTF8(failure);
      }
      TvxLane.later(function() { _tvx_releases_take(index, data, size, why, choice); }, function() {
        _free(data);
        _free(why);
        if (choice !== TvxReleases.choice) return;
        TvxReleases.download = null;
        TvxReleases.say('');
      });
    },
  },

  // A release chosen in the chooser (web/Releases.cpp): its download.
  tvx_releases_fetch__deps: ['$TvxReleases'],
  tvx_releases_fetch: function(index) {
    TvxReleases.choose(index);
  },

  // The page starts again: a download under way, or a link's choice
  // still to come, is dropped.
  tvx_releases_cancel__deps: ['$TvxReleases'],
  tvx_releases_cancel: function() {
    TvxReleases.drop();
  },

  // Whether the choice numbered so is still the user's latest.
  tvx_releases_latest__deps: ['$TvxReleases'],
  tvx_releases_latest: function(choice) {
    return choice === TvxReleases.choice ? 1 : 0;
  },

  // Looks for firmware.json beside the page: 1 when it does. None (the
  // server says it is not there, or will not give it) leaves the page as it
  // is.
  tvx_releases_start__deps: ['$TvxReleases'],
  tvx_releases_start: function() {
    if (typeof document === 'undefined' || typeof fetch === 'undefined') return 0;
    TvxReleases.listen();
    var asked = TvxReleases.choice;
    var none = function() { TvxLane.now(function() { _tvx_releases_none(); }); };
    TvxReleases.catalogue = new URL('firmware.json', document.baseURI);
    var most = _tvx_releases_most(0);
    TvxReleases.get(TvxReleases.catalogue, most, {cache: 'no-cache'}).then(function(response) {
      if (response.status >= 400 && response.status < 500) return null;
      if (!response.ok) throw new Error('el servidor responde ' + response.status);
      return TvxReleases.body(response, most);
    }).then(function(bytes) {
      if (bytes) TvxReleases.read(bytes, asked);
      else none();
    }, function(e) {
      // Unreachable while the page itself came: nothing to list.
      if (e instanceof TypeError) return none();
      TvxReleases.say('No se puede leer el catálogo de versiones de este sitio (firmware.json): ' + e.message +
                      '. Puede abrir su propio archivo con «Abrir HEX».');
    });
    return 1;
  },
});
