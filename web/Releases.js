// The list of the maker's published releases (web/Releases.cpp reads the
// catalogue and checks each file): firmware.json beside the page, its files
// fetched from the same site only. A site without it shows nothing; one
// that is not a catalogue is told, and the user's own file still works.
// Notes are text, never markup.

mergeInto(LibraryManager.library, {
  $TvxReleases__deps: ['$TvxLane'],
  $TvxReleases: {
    catalogue: null,  // the catalogue's URL
    panel: null,
    status: null,
    buttons: [],
    busy: false,      // a release is on its way to the program
    early: [],        // fetches made before the offline copy took over
    // A fetch from the site. On the first visit the page's service worker
    // takes over only after the page has fetched the catalogue (and the
    // release that ?version= names): those fetches are made again through
    // it once it does, so that it keeps them for offline use.
    get: function(url, init) {
      var worker = navigator.serviceWorker;
      if (worker && !worker.controller) {
        if (!TvxReleases.early.length) {
          worker.addEventListener('controllerchange', function() {
            TvxReleases.early.forEach(function(f) { fetch(f[0], f[1]).catch(function() {}); });
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
    // Whatever stops "Abrir HEX" (an update's lock-out) stops the list too.
    // While a release is on its way the list only says so: a button that
    // went disabled would drop the keyboard's focus.
    sync: function() {
      var open = document.getElementById('IDC_OPEN_HEX');
      var locked = !open || open.dataset.disabled === '1';
      TvxReleases.buttons.forEach(function(b) {
        b.disabled = locked;
        if (TvxReleases.busy) b.setAttribute('aria-disabled', 'true');
        else b.removeAttribute('aria-disabled');
      });
      if (TvxReleases.panel) TvxReleases.panel.setAttribute('aria-busy', TvxReleases.busy ? 'true' : 'false');
    },
    say: function(text) {
      TvxReleases.status.textContent = text;
      TvxReleases.status.hidden = !text;
    },
    // The panel above the dialog: a heading and a line for what it has to say.
    makePanel: function() {
      var desk = document.getElementById('escritorio') || document.body;
      var panel = document.createElement('section');
      panel.id = 'versiones';
      panel.className = 'releases';
      panel.setAttribute('aria-labelledby', 'versiones-titulo');
      var title = document.createElement('h2');
      title.id = 'versiones-titulo';
      title.textContent = 'Versiones publicadas';
      var status = document.createElement('p');
      status.className = 'status';
      status.setAttribute('role', 'status');
      status.hidden = true;
      panel.append(title, status);
      desk.prepend(panel);
      desk.classList.add('with-releases');
      TvxReleases.panel = panel;
      TvxReleases.status = status;
      new MutationObserver(TvxReleases.sync).observe(desk, {subtree: true, childList: true,
                                                            attributeFilter: ['data-disabled']});
    },
    // One entry a release, newest first: the version and its day on a
    // button, the notes below it.
    list: function() {
      var ul = document.createElement('ul');
      for (var i = 0; i < _tvx_releases_count(); ++i) {
        var version = TvxReleases.field(i, 0);
        var date = TvxReleases.field(i, 1);
        var li = document.createElement('li');
        var button = document.createElement('button');
        button.type = 'button';
        button.dataset.version = version;
        var name = document.createElement('span');
        name.className = 'version';
        name.textContent = 'Versión ' + version;
        var day = document.createElement('time');
        day.dateTime = date;
        day.textContent = date.slice(8) + '/' + date.slice(5, 7) + '/' + date.slice(0, 4);
        button.append(name, ' ', day);
        if (i === 0) {
          var newest = document.createElement('span');
          newest.className = 'newest';
          newest.textContent = '(la más reciente)';
          button.append(' ', newest);
        }
        button.addEventListener('click', TvxReleases.choose.bind(null, i));
        li.append(button);
        var notes = TvxReleases.field(i, 3);
        if (notes) {
          var p = document.createElement('p');
          p.className = 'notes';
          p.id = 'notas-' + i;
          p.textContent = notes;
          button.setAttribute('aria-describedby', p.id);
          li.append(p);
        }
        ul.append(li);
        TvxReleases.buttons.push(button);
      }
      TvxReleases.panel.append(ul);
      TvxReleases.sync();
    },
    // The catalogue's bytes to the program, which reads them.
    read: function(bytes) {
      var data = _malloc(bytes.length + 1);
      HEAPU8.set(bytes, data);
      var why = 0;
      TvxLane.now(function() { why = _tvx_releases_read(data, bytes.length); });
      _free(data);
      TvxReleases.makePanel();
      if (why) {
        TvxReleases.say('El catálogo de versiones de este sitio (firmware.json) no es válido: ' + UTF8ToString(why) +
                        '. Puede abrir su propio archivo con «Abrir HEX».');
        _free(why);
        return;
      }
      TvxReleases.list();
      var wanted = new URLSearchParams(location.search).get('version');
      if (wanted === null) return;
      var size = lengthBytesUTF8(wanted) + 1;
      var p = _malloc(size);
      stringToUTF8(wanted, p, size);
      var index = _tvx_releases_find(p);
      _free(p);
      if (index >= 0) TvxReleases.choose(index);
      else TvxReleases.say('Este sitio no publica la versión «' + wanted + '»; elija una de la lista.');
    },
    // Downloads the release's file and hands it to the program, which
    // checks and loads it; never sends it anywhere.
    choose: function(index) {
      if (TvxReleases.busy) return;
      TvxReleases.busy = true;
      TvxReleases.sync();
      TvxReleases.say('');
      var url = new URL(TvxReleases.field(index, 2), TvxReleases.catalogue);
      TvxReleases.get(url).then(function(response) {
        if (!response.ok) throw new Error('el servidor responde ' + response.status);
        return TvxReleases.body(response, _tvx_releases_most(1));
      }).then(function(bytes) {
        TvxReleases.hand(index, bytes, null);
      }, function(e) {
        TvxReleases.hand(index, null, e instanceof TypeError ? 'no hay conexión con el sitio' : e.message);
      });
    },
    hand: function(index, bytes, failure) {
      var data = 0, size = 0, why = 0;
      if (bytes) {
        size = bytes.length;
        data = _malloc(size + 1);
        HEAPU8.set(bytes, data);
      } else {
        var n = lengthBytesUTF8(failure) + 1;
        why = _malloc(n);
        stringToUTF8(failure, why, n);
      }
      TvxLane.later(function() { _tvx_releases_take(index, data, size, why); }, function() {
        _free(data);
        _free(why);
        TvxReleases.busy = false;
        TvxReleases.sync();
      });
    },
  },

  // Looks for firmware.json beside the page. None (the server says it is
  // not there, or will not give it) leaves the page as it is.
  tvx_releases_start__deps: ['$TvxReleases'],
  tvx_releases_start: function() {
    if (typeof document === 'undefined' || typeof fetch === 'undefined') return;
    TvxReleases.catalogue = new URL('firmware.json', document.baseURI);
    TvxReleases.get(TvxReleases.catalogue, {cache: 'no-cache'}).then(function(response) {
      if (response.status >= 400 && response.status < 500) return null;
      if (!response.ok) throw new Error('el servidor responde ' + response.status);
      return TvxReleases.body(response, _tvx_releases_most(0));
    }).then(function(bytes) {
      if (bytes) TvxReleases.read(bytes);
    }, function(e) {
      // Unreachable while the page itself came: nothing to list.
      if (e instanceof TypeError) return;
      TvxReleases.makePanel();
      TvxReleases.say('No se puede leer el catálogo de versiones de este sitio (firmware.json): ' + e.message +
                      '. Puede abrir su propio archivo con «Abrir HEX».');
    });
  },
});
