// WebHID under the HID platform layer (device/HidPlatformWeb.cpp). A device
// the page was granted stands for one HID interface; its path is
// "webhid:N", N its place in the list of devices this page has seen. A
// write waits for sendReport to settle; every wait catches its own errors,
// since Asyncify only wakes on a settled value.

mergeInto(LibraryManager.library, {
  $TvxHid__deps: ['$TvxLane', '$TvxContract'],
  $TvxHid: {
    seen: [],      // every HIDDevice met, for stable paths
    gone: [],      // per device: true once it was unplugged
    lists: {},     // list id -> [device number]
    nextList: 1,
    handles: {},   // handle id -> {dev, number}
    nextHandle: 1,
    lastError: 0,
    watching: false,
    number: function(dev) {
      var n = TvxHid.seen.indexOf(dev);
      if (n < 0) {
        n = TvxHid.seen.push(dev) - 1;
        TvxHid.gone[n] = false;
      }
      return n;
    },
    watch: function() {
      if (TvxHid.watching) return;
      TvxHid.watching = true;
      navigator.hid.addEventListener('disconnect', function(e) {
        var n = TvxHid.seen.indexOf(e.device);
        if (n < 0) return;
        TvxHid.gone[n] = true;
        // A report on its way fails now rather than waiting for the browser.
        for (var id in TvxHid.handles) {
          var h = TvxHid.handles[id];
          if (h.number === n && h.unplugged) h.unplugged();
        }
        // Let go of it: its handles only fail from now on, and no search
        // lists it again, even from a browser that is slow to forget it.
        if (e.device.opened) e.device.close().catch(function() {});
      });
    },
    // Whether a device whose write failed is still there: the browser may
    // tell of an unplug only after the write it failed, or never (without
    // device events), but a device that is gone no longer opens. One that
    // does not is taken for gone, so that no search lists it again.
    stillThere: function(h) {
      if (TvxHid.gone[h.number]) return Promise.resolve(false);
      return h.dev.close().catch(function() {}).then(function() {
        return h.dev.open().then(function() { return true; }, function() {
          TvxHid.gone[h.number] = true;
          return false;
        });
      });
    },
    // Bytes of the largest report of a kind ('inputReports', 'outputReports',
    // 'featureReports') in the device's collections, or 0.
    reportBytes: function(dev, kind) {
      var most = 0;
      var walk = function(collections) {
        (collections || []).forEach(function(c) {
          (c[kind] || []).forEach(function(r) {
            var bits = 0;
            (r.items || []).forEach(function(i) { bits += i.reportSize * i.reportCount; });
            most = Math.max(most, Math.ceil(bits / 8));
          });
          walk(c.children);
        });
      };
      walk(dev.collections);
      return most;
    },
    // What an error means, as SysErrorKind (sys/ErrorText.h) numbers it.
    errorOf: function(e) {
      var name = e && e.name;
      if (name === 'NotAllowedError' || name === 'SecurityError') return TvxContract.SysErrorKind.kDenied;
      if (name === 'NotFoundError' || name === 'InvalidStateError') return TvxContract.SysErrorKind.kGone;
      return TvxContract.SysErrorKind.kOther;
    },
  },

  tvx_hid_available: function() {
    return typeof navigator !== 'undefined' && navigator.hid ? 1 : 0;
  },

  // The granted devices that have an output report, in the browser's order;
  // with `ask`, on a click, and when none is the controller, the browser's
  // chooser offers the controllers first. Returns a list id; 0 without WebHID.
  tvx_hid_list__deps: ['$TvxHid'],
  tvx_hid_list__async: true,
  tvx_hid_list: function(ask, vendorId, productId) {
    return TvxLane.wait(function(mayWait) {
      if (!(typeof navigator !== 'undefined' && navigator.hid)) return 0;
      TvxHid.watch();
      var make = function(devices) {
        var id = TvxHid.nextList++;
        TvxHid.lists[id] = devices.filter(function(d) { return TvxHid.reportBytes(d, 'outputReports') > 0; })
                                  .map(TvxHid.number)
                                  .filter(function(n) { return !TvxHid.gone[n]; });
        return id;
      };
      if (!mayWait) return make([]);
      return (async function() {
        var devices = [];
        try {
          devices = await navigator.hid.getDevices();
          var wanted = function(d) {
            return d.vendorId === vendorId && d.productId === productId && TvxHid.reportBytes(d, 'outputReports') > 0;
          };
          var active = navigator.userActivation ? navigator.userActivation.isActive : true;
          if (ask && active && !devices.some(wanted)) {
            var chosen = await navigator.hid.requestDevice({filters: [{vendorId: vendorId, productId: productId}]});
            chosen.forEach(function(d) { if (devices.indexOf(d) < 0) devices.push(d); });
          }
        } catch (e) {
          // A cancelled or refused chooser: the devices already granted stay.
          TvxHid.lastError = TvxHid.errorOf(e);
        }
        return make(devices);
      })();
    });
  },

  tvx_hid_list_size__deps: ['$TvxHid'],
  tvx_hid_list_size: function(list) {
    var l = TvxHid.lists[list];
    return l ? l.length : -1;
  },

  tvx_hid_list_device__deps: ['$TvxHid'],
  tvx_hid_list_device: function(list, index) {
    var l = TvxHid.lists[list];
    return l && index < l.length ? l[index] : -1;
  },

  tvx_hid_list_free__deps: ['$TvxHid'],
  tvx_hid_list_free: function(list) {
    delete TvxHid.lists[list];
  },

  // Opens device number `n`; a handle id, or 0 when it does not open.
  tvx_hid_open__deps: ['$TvxHid'],
  tvx_hid_open__async: true,
  tvx_hid_open: function(n) {
    return TvxLane.wait(function(mayWait) {
      var dev = TvxHid.seen[n];
      if (!dev || TvxHid.gone[n]) {
        TvxHid.lastError = TvxContract.SysErrorKind.kGone;
        return 0;
      }
      var hold = function() {
        var id = TvxHid.nextHandle++;
        TvxHid.handles[id] = {dev: dev, number: n};
        return id;
      };
      if (dev.opened) return hold();
      if (!mayWait) {
        TvxHid.lastError = TvxContract.SysErrorKind.kOther;
        return 0;
      }
      return (async function() {
        try {
          await dev.open();
          return hold();
        } catch (e) {
          TvxHid.lastError = TvxHid.errorOf(e);
          return 0;
        }
      })();
    });
  },

  tvx_hid_ids__deps: ['$TvxHid'],
  tvx_hid_ids: function(handle, vendorOut, productOut) {
    var h = TvxHid.handles[handle];
    if (!h) return 0;
    HEAPU16[vendorOut >> 1] = h.dev.vendorId;
    HEAPU16[productOut >> 1] = h.dev.productId;
    return 1;
  },

  // The first collection's usage, and each kind of report's length with its ID byte.
  tvx_hid_caps__deps: ['$TvxHid'],
  tvx_hid_caps: function(handle, usagePageOut, usageOut, inputLengthOut, outputLengthOut, featureLengthOut) {
    var h = TvxHid.handles[handle];
    if (!h) return 0;
    var top = (h.dev.collections || [])[0] || {usagePage: 0, usage: 0};
    var length = function(out, kind) {
      var bytes = TvxHid.reportBytes(h.dev, kind);
      HEAPU16[out >> 1] = bytes > 0 ? bytes + 1 : 0;
    };
    HEAPU16[usagePageOut >> 1] = top.usagePage;
    HEAPU16[usageOut >> 1] = top.usage;
    length(inputLengthOut, 'inputReports');
    length(outputLengthOut, 'outputReports');
    length(featureLengthOut, 'featureReports');
    return 1;
  },

  // The product's name in memory the caller frees; null for no handle.
  tvx_hid_product__deps: ['$TvxHid', '$stringToNewUTF8'],
  tvx_hid_product: function(handle) {
    var h = TvxHid.handles[handle];
    return h ? stringToNewUTF8(h.dev.productName || '') : 0;
  },

  // One output report: byte 0 is the report ID, the rest its data, which
  // WebHID takes without the ID. 1 once the browser has sent it.
  tvx_hid_write__deps: ['$TvxHid'],
  tvx_hid_write__async: true,
  tvx_hid_write: function(handle, buffer, length) {
    return TvxLane.wait(function(mayWait) {
      var h = TvxHid.handles[handle];
      if (!h || length < 1 || TvxHid.gone[h.number]) {
        TvxHid.lastError = TvxContract.SysErrorKind.kGone;
        return 0;
      }
      if (!mayWait) {
        TvxHid.lastError = TvxContract.SysErrorKind.kOther;
        return 0;
      }
      var reportId = HEAPU8[buffer];
      var data = HEAPU8.slice(buffer + 1, buffer + length);
      return new Promise(function(resolve) {
        // The first answer counts: an unplug, or how the report fared.
        var done = false;
        var settle = function(ok, error) {
          if (done) return;
          done = true;
          if (!ok) TvxHid.lastError = error;
          resolve(ok);
        };
        h.unplugged = function() { settle(0, TvxContract.SysErrorKind.kGone); };
        h.dev.sendReport(reportId, data).then(function() { settle(1); }, function(e) {
          TvxHid.stillThere(h).then(function(there) { settle(0, there ? TvxHid.errorOf(e) : TvxContract.SysErrorKind.kGone); });
        });
      }).then(function(ok) {
        h.unplugged = null;
        return ok;
      });
    });
  },

  // Closes the device when this was its last handle; waits for the browser
  // when it may, so that the next open finds it closed.
  tvx_hid_close__deps: ['$TvxHid'],
  tvx_hid_close__async: true,
  tvx_hid_close: function(handle) {
    TvxLane.wait(function(mayWait) {
      var h = TvxHid.handles[handle];
      if (!h) return;
      delete TvxHid.handles[handle];
      for (var id in TvxHid.handles) {
        if (TvxHid.handles[id].dev === h.dev) return;
      }
      if (!h.dev.opened) return;
      if (!mayWait) {
        h.dev.close().catch(function() {});
        return;
      }
      return (async function() {
        try { await h.dev.close(); } catch (e) {}
        return 0;
      })();
    });
  },

  // A diagnostic of the search, for a developer's console, not the user.
  tvx_hid_debug: function(line) {
    console.debug(UTF8ToString(line).replace(/\n$/, ''));
  },

  tvx_hid_last_error__deps: ['$TvxHid'],
  tvx_hid_last_error: function() {
    return TvxHid.lastError;
  },
});
