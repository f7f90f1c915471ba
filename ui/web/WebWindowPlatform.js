// The window layer's DOM side (ui/web/WebWindowPlatform.cpp builds the
// windows from the dialog templates and calls these). A handle is a small
// number standing for an element. Events go back to the program through the
// exported tvx_wnd_* functions, one at a time (TvxLane).

mergeInto(LibraryManager.library, {
  $TvxWnd__deps: ['$TvxLane', '$FS', '$stringToNewUTF8'],
  $TvxWnd: {
    elements: [null],  // handle -> element
    windows: {},       // handle of a window -> its state
    threads: 0,
    lostFocus: null,   // the control that had the focus when it was disabled
    offered: null,     // a file dropped on the page, for the chooser to give
    boxCaption: '',    // the caption of the page's own boxes
    lateChoice: null,  // the chooser's listener for a file after a guessed cancel
    add: function(element) {
      return TvxWnd.elements.push(element) - 1;
    },
    at: function(handle) {
      return TvxWnd.elements[handle] || null;
    },
    command: function(win, id) {
      TvxLane.now(function() { _tvx_wnd_command(win, id); });
    },
    sysCommand: function(win, id) {
      TvxLane.now(function() { _tvx_wnd_syscommand(win, id); });
    },
    // "&Sobre" shows its mnemonic underlined.
    setLabel: function(element, text) {
      element.textContent = '';
      var amp = text.indexOf('&');
      if (amp < 0 || amp + 1 >= text.length) {
        element.textContent = text.replace('&', '');
        return;
      }
      element.append(text.slice(0, amp));
      var u = document.createElement('u');
      u.textContent = text[amp + 1];
      element.append(u, text.slice(amp + 2));
    },
    // The caption: the system menu's icon, the title, the close box.
    newCaptionBar: function(win, caption, modal) {
      var bar = document.createElement('header');
      bar.className = 'caption';
      var icon = document.createElement('button');
      icon.type = 'button';
      icon.className = 'sysmenu';
      icon.tabIndex = -1;
      icon.setAttribute('aria-label', 'Menú del sistema');
      icon.setAttribute('aria-haspopup', 'menu');
      var img = document.createElement('img');
      img.alt = '';
      icon.append(img);
      var title = document.createElement(modal ? 'h2' : 'h1');
      title.id = 'caption-' + win;
      title.textContent = caption;
      var close = document.createElement('button');
      close.type = 'button';
      close.className = 'close';
      close.tabIndex = -1;
      close.setAttribute('aria-label', 'Cerrar');
      close.textContent = '\u2715';
      bar.append(icon, title, close);
      return {element: bar, menuButton: icon, image: img, title: title, closeButton: close};
    },
    listenCaptionBar: function(win, bar) {
      bar.menuButton.addEventListener('click', function() { TvxWnd.openMenuUnderIcon(win); });
      bar.closeButton.addEventListener('click', function() { TvxWnd.sysCommand(win, 0xF060); });  // SC_CLOSE
    },
    // Alt+Space opens the system menu, Escape cancels, Enter presses a
    // button or, anywhere else, the default button.
    onWindowKey: function(win, e) {
      if (e.target.closest('.menu')) return;
      if (e.key === ' ' && e.altKey) {
        e.preventDefault();
        TvxWnd.openMenuUnderIcon(win);
      } else if (e.key === 'Escape') {
        e.preventDefault();
        TvxWnd.command(win, 2);  // IDCANCEL
      } else if (e.key === 'Enter' && !(e.target instanceof HTMLButtonElement)) {
        // Enter on a button presses it; anywhere else it is the default button.
        e.preventDefault();
        var w = TvxWnd.windows[win];
        var def = w.items[w.defaultId] && TvxWnd.at(w.items[w.defaultId][0]);
        if (def && !def.disabled) TvxWnd.command(win, w.defaultId);
      }
    },
    // The arrows move through the menu's items, Enter and Space choose one,
    // Escape closes it.
    onMenuKey: function(win, e) {
      var menu = TvxWnd.windows[win].menu;
      var items = Array.from(menu.querySelectorAll('[role=menuitem]'));
      var at = items.indexOf(document.activeElement);
      if (e.key === 'Escape') {
        e.preventDefault();
        TvxWnd.closeMenu(win);
      } else if (e.key === 'ArrowDown' || e.key === 'ArrowUp') {
        e.preventDefault();
        var next = items[(at + (e.key === 'ArrowDown' ? 1 : items.length - 1)) % items.length];
        if (next) next.focus();
      } else if (e.key === 'Enter' || e.key === ' ') {
        e.preventDefault();
        if (at >= 0) items[at].click();
      }
    },
    // A click on what takes no focus (the desk, a label, the caption) leaves
    // the focus where it is, as on the program's window: the keys go on
    // working, where the page's body would take them to nothing.
    holdFocus: function() {
      if (TvxWnd.holding) return;
      TvxWnd.holding = true;
      document.addEventListener('mousedown', function(e) {
        var t = e.target;
        if (!t.closest) return;
        if (t.closest('.caption') || !t.closest('button, input, textarea, select, a[href], [tabindex], .menu, .text, .aviso')) {
          e.preventDefault();
        }
      });
    },
    // Until the window goes (tvx_wnd_destroy removes it).
    closeMenuOnClickOutside: function(win) {
      var w = TvxWnd.windows[win];
      w.outside = function(e) {
        if (!w.menu.contains(e.target) && !w.menuButton.contains(e.target)) TvxWnd.closeMenu(win);
      };
      document.addEventListener('pointerdown', w.outside);
    },
    openMenuUnderIcon: function(win) {
      var r = TvxWnd.windows[win].menuButton.getBoundingClientRect();
      TvxWnd.openMenu(win, r.left, r.bottom);
    },
    openMenu: function(win, x, y) {
      var w = TvxWnd.windows[win];
      if (!w || !w.menu || !w.menu.children.length) return;
      var menu = w.menu;
      if (menu.hidden) menu.tvxReturn = TvxWnd.focusNow();
      menu.hidden = false;
      // Within the part of the page in view, wherever it is scrolled or zoomed.
      var view = TvxWnd.view();
      var size = menu.getBoundingClientRect();
      x = Math.max(view.left, Math.min(x, view.right - size.width));
      y = Math.max(view.top, Math.min(y, view.bottom - size.height));
      var box = w.root.getBoundingClientRect();
      menu.style.left = (x - box.left - w.root.clientLeft + w.root.scrollLeft) + 'px';
      menu.style.top = (y - box.top - w.root.clientTop + w.root.scrollTop) + 'px';
      var first = menu.querySelector('[role=menuitem]');
      if (first) first.focus({preventScroll: true});
    },
    // The focus goes back where it was before the menu opened (also when an
    // item was chosen: a box that the item opens gives it back there).
    closeMenu: function(win) {
      var w = TvxWnd.windows[win];
      if (w && w.menu && !w.menu.hidden) {
        var inMenu = w.menu.contains(document.activeElement);
        w.menu.hidden = true;
        if (inMenu || document.activeElement === document.body) TvxWnd.focusBack(w.menu.tvxReturn);
        return true;
      }
      return false;
    },
    // The control that has the focus now, for focusBack once a box or menu
    // closes: the one an update's lock-out took it from, if that is where it
    // went; the one the menu took it from, while the menu has it.
    focusNow: function() {
      var el = document.activeElement;
      var menu = el && el.closest ? el.closest('.menu') : null;
      if (menu) return menu.tvxReturn || null;
      if (!el || el === document.body) return TvxWnd.lostFocus;
      return el;
    },
    // Gives the focus to `el` if it can still take it, else to the default
    // button of the window on top (ACTUALIZAR), else its first control that
    // takes it: never to the page's body, where keys do nothing.
    focusBack: function(el) {
      var usable = function(e) {
        return e && e.isConnected && !e.disabled && !e.hidden && e.tabIndex >= -1 &&
               !e.closest('[inert], [hidden], dialog:not([open])');
      };
      if (!usable(el)) {
        el = null;
        var open = Object.keys(TvxWnd.windows).map(function(h) { return TvxWnd.windows[h]; })
          .filter(function(w) { return w.root.isConnected && !w.root.inert && (!w.modal || w.root.open); });
        var top = open.filter(function(w) { return w.modal; }).pop() || open.pop();
        if (top) {
          var def = top.items[top.defaultId] && TvxWnd.at(top.items[top.defaultId][0]);
          el = usable(def) ? def : Array.from(top.client.children).find(function(c) {
            return c.tabIndex >= 0 && usable(c);
          });
        }
      }
      if (el) el.focus();
    },
    focusDefault: function(win) {
      var w = TvxWnd.windows[win];
      var def = w && w.items[w.defaultId] && TvxWnd.at(w.items[w.defaultId][0]);
      if (def && def.isConnected && !def.disabled && !def.closest('[inert], [hidden]') &&
          !document.querySelector('dialog[open]')) {
        def.focus();
      }
    },
    // While an update thread runs, leaving the page asks first.
    guardUnload: function(e) {
      e.preventDefault();
      e.returnValue = '';
      return '';
    },
    // Where this page's boxes and windows go.
    desk: function() {
      return document.getElementById('escritorio') || document.body;
    },
    // The part of the page in view, in the coordinates of
    // getBoundingClientRect: smaller than the window when zoomed in on a
    // touch screen.
    view: function() {
      var v = window.visualViewport;
      var left = v ? v.offsetLeft : 0, top = v ? v.offsetTop : 0;
      var width = v ? v.width : document.documentElement.clientWidth;
      var height = v ? v.height : document.documentElement.clientHeight;
      return {left: left, top: top, right: left + width, bottom: top + height};
    },
    // A box wider than the view (the About box's fixed layout in a narrow
    // window) is scaled down whole; a box that fits stays as it is.
    fitToView: function(box, client) {
      box.style.zoom = '';
      var view = TvxWnd.view();
      var room = view.right - view.left - 8;
      var need = client.offsetWidth + box.offsetWidth - box.clientWidth;
      if (need > room && room > 0) box.style.zoom = String(room / need);
    },
    fitAll: function() {
      for (var h in TvxWnd.windows) {
        var w = TvxWnd.windows[h];
        if (w.modal && w.root.open) TvxWnd.fitToView(w.root, w.client);
      }
    },
    listenView: function() {
      if (TvxWnd.viewing) return;
      TvxWnd.viewing = true;
      window.addEventListener('resize', TvxWnd.fitAll);
      if (window.visualViewport) window.visualViewport.addEventListener('resize', TvxWnd.fitAll);
    },
    // A box over the page with one "Aceptar"; a promise of its answer.
    showMessageBox: function(text, caption, stop) {
      var box = document.createElement('dialog');
      box.className = 'window msgbox';
      box.setAttribute('role', 'alertdialog');
      var bar = document.createElement('header');
      bar.className = 'caption';
      var title = document.createElement('h2');
      title.textContent = caption;
      bar.append(title);
      var body = document.createElement('div');
      body.className = 'body';
      if (stop) {
        var icon = document.createElement('span');
        icon.className = 'stop';
        icon.setAttribute('aria-hidden', 'true');
        body.append(icon);
      }
      var message = document.createElement('p');
      message.className = 'text';
      message.textContent = text;
      body.append(message);
      var buttons = document.createElement('div');
      buttons.className = 'buttons';
      var ok = document.createElement('button');
      ok.type = 'button';
      ok.textContent = 'Aceptar';
      buttons.append(ok);
      box.append(bar, body, buttons);
      title.id = 'msgbox-caption-' + TvxWnd.elements.length;
      message.id = title.id + '-text';
      box.setAttribute('aria-labelledby', title.id);
      box.setAttribute('aria-describedby', message.id);
      var back = TvxWnd.focusNow();
      TvxWnd.desk().append(box);
      box.showModal();
      ok.focus();
      return new Promise(function(resolve) {
        var done = function() {
          if (box.open) box.close();
          box.remove();
          TvxWnd.focusBack(back);
          resolve(1);  // IDOK
        };
        ok.addEventListener('click', done);
        box.addEventListener('cancel', function(e) { e.preventDefault(); done(); });
      });
    },
    // The browser's chooser on the page's file input; a promise of the
    // chosen file, or of null. The input says when it is cancelled; where it
    // does not (older browsers), the page getting the focus back with no file
    // a second later stands for that, and a file that comes after all is
    // taken as a dropped one would be: a slow answer is never lost.
    chooseFile: function(input) {
      if (TvxWnd.lateChoice) input.removeEventListener('change', TvxWnd.lateChoice);
      TvxWnd.lateChoice = null;
      return new Promise(function(resolve) {
        var settled = false;
        var settle = function(file) {
          if (settled) return;
          settled = true;
          delete input.dataset.waiting;
          input.removeEventListener('cancel', onCancel);
          window.removeEventListener('focus', onFocus);
          resolve(file);
        };
        var onChange = function() {
          var file = input.files && input.files[0];
          input.removeEventListener('change', onChange);
          if (TvxWnd.lateChoice === onChange) TvxWnd.lateChoice = null;
          input.value = '';
          if (!settled) settle(file || null);
          else if (file) TvxWnd.takeFile(file, true);
        };
        var onCancel = function() {
          input.removeEventListener('change', onChange);
          settle(null);
        };
        var onFocus = function() {
          setTimeout(function() {
            if (settled || (input.files && input.files.length)) return;
            TvxWnd.lateChoice = onChange;
            settle(null);
          }, 1000);
        };
        input.dataset.waiting = '1';
        input.addEventListener('change', onChange);
        input.addEventListener('cancel', onCancel);
        window.addEventListener('focus', onFocus);
        input.click();
      });
    },
    // The window and command that a file dropped on the page goes to, while
    // that command's control is enabled and nothing else is under way (an
    // update, a box, the chooser); else null.
    dropTarget: function() {
      for (var h in TvxWnd.windows) {
        var w = TvxWnd.windows[h];
        if (!w.dropId || !w.root.isConnected || w.root.inert) continue;
        var control = w.items[w.dropId] && TvxWnd.at(w.items[w.dropId][0]);
        if (control && control.dataset.disabled !== '1' && !control.disabled) return {win: +h, id: w.dropId};
      }
      return null;
    },
    // A file dropped (or chosen late) enters the program as the command that
    // opens files, whose chooser then gives this file. A drop is refused
    // while something is under way; a late choice waits for its turn.
    takeFile: function(file, late) {
      var run = function() {
        var target = TvxWnd.dropTarget();
        if (!target) return;
        TvxWnd.offered = file;
        try {
          _tvx_wnd_command(target.win, target.id);
        } finally {
          TvxWnd.offered = null;
        }
      };
      if (late) TvxLane.later(run);
      else if (!TvxLane.active && !document.querySelector('dialog[open]')) TvxLane.now(run);
    },
    listenDrops: function() {
      if (TvxWnd.dropping) return;
      TvxWnd.dropping = true;
      var files = function(e) {
        return e.dataTransfer && Array.prototype.indexOf.call(e.dataTransfer.types, 'Files') >= 0;
      };
      var open = function() {
        return !TvxLane.active && !document.querySelector('dialog[open]') && TvxWnd.dropTarget();
      };
      document.addEventListener('dragover', function(e) {
        if (!files(e)) return;
        e.preventDefault();
        e.dataTransfer.dropEffect = open() ? 'copy' : 'none';
      });
      document.addEventListener('drop', function(e) {
        if (!files(e)) return;
        e.preventDefault();
        var target = open();
        if (!target) return;
        for (var h in TvxWnd.windows) TvxWnd.closeMenu(h);
        var dropped = e.dataTransfer.files;
        if (dropped.length > 1) {
          TvxWnd.showMessageBox('Suelte un solo archivo HEX: no se ha cargado ninguno de los ' + dropped.length + '.',
                                TvxWnd.boxCaption || TvxWnd.windows[target.win].title.textContent, true);
        } else if (dropped.length === 1) {
          TvxWnd.takeFile(dropped[0], false);
        }
      });
    },
    // Copies a chosen file into the program's memory (never sent anywhere)
    // as `folder`/NAME; NAME for the program. The page hears of the choice
    // ('tvx-file-chosen'): it is the user's latest.
    keepFile: async function(file, folder) {
      window.dispatchEvent(new Event('tvx-file-chosen'));
      // A file loaded makes the window's default button (ACTUALIZAR) the
      // next step: the focus goes there once the program has taken the
      // file, not left where Enter would choose again.
      var target = TvxWnd.dropTarget();
      if (target) TvxLane.later(function() {}, function() { TvxWnd.focusDefault(target.win); });
      // Only the latest choice is kept.
      FS.readdir(folder).forEach(function(old) {
        if (old !== '.' && old !== '..') FS.unlink(folder + '/' + old);
      });
      try {
        FS.writeFile(folder + '/' + file.name, new Uint8Array(await file.arrayBuffer()), {canOwn: true});
      } catch (e) {
        // Too large for memory, or gone: the name stays, the open fails.
      }
      return stringToNewUTF8(file.name);
    },
  },

  // A window of cx x cy dialog units; `modal` makes it a <dialog> over the
  // page. Without `sysMenu` (WS_SYSMENU) its caption has neither the menu's
  // icon nor the close box.
  tvx_wnd_new_window__deps: ['$TvxWnd'],
  tvx_wnd_new_window: function(name, caption, cx, cy, modal, sysMenu) {
    var root = document.createElement(modal ? 'dialog' : 'section');
    var win = TvxWnd.add(root);
    root.className = 'window';
    root.dataset.handle = win;
    name = UTF8ToString(name);
    if (name && !document.getElementById(name)) root.id = name;
    root.setAttribute('aria-labelledby', 'caption-' + win);
    var bar = TvxWnd.newCaptionBar(win, UTF8ToString(caption), modal);
    var client = document.createElement('div');
    client.className = 'client';
    client.style.setProperty('--cx', cx);
    client.style.setProperty('--cy', cy);
    var menu = document.createElement('ul');
    menu.className = 'menu';
    menu.setAttribute('role', 'menu');
    menu.setAttribute('aria-label', 'Menú del sistema');
    menu.hidden = true;
    root.append(bar.element, client, menu);
    TvxWnd.windows[win] = {root: root, client: client, title: bar.title, icon: bar.image, menuButton: bar.menuButton,
                           menu: menu, timers: {}, items: {}, defaultId: 0, waiter: null, modal: !!modal};
    TvxWnd.listenCaptionBar(win, bar);
    if (!sysMenu) {
      bar.menuButton.remove();
      bar.closeButton.remove();
    }
    root.addEventListener('contextmenu', function(e) {
      e.preventDefault();
      TvxWnd.openMenu(win, e.clientX, e.clientY);
    });
    root.addEventListener('cancel', function(e) { e.preventDefault(); });  // Escape is onWindowKey's
    root.addEventListener('keydown', function(e) { TvxWnd.onWindowKey(win, e); });
    menu.addEventListener('keydown', function(e) { TvxWnd.onMenuKey(win, e); });
    TvxWnd.closeMenuOnClickOutside(win);
    TvxWnd.holdFocus();
    return win;
  },

  // kind and flags as ui/web/WebContract.h names them.
  tvx_wnd_add_control__deps: ['$TvxWnd', '$TvxContract'],
  tvx_wnd_add_control: function(win, kind, id, name, text, x, y, cx, cy, flags) {
    var w = TvxWnd.windows[win];
    var K = TvxContract.ControlKind, F = TvxContract.ControlFlags;
    var el;
    text = UTF8ToString(text);
    if (kind === K.kButton) {
      el = document.createElement('button');
      el.type = 'button';
      el.textContent = text;
      if (flags & F.kDefault) {
        el.classList.add('default');
        w.defaultId = id;
      }
      el.addEventListener('click', function() { TvxWnd.command(win, id); });
    } else if (kind === K.kEdit) {
      el = document.createElement('input');
      el.type = 'text';
      el.value = text;
      // A page is not told where a file lies: nothing typed here could be opened.
      el.readOnly = true;
      el.spellcheck = false;
      el.autocomplete = 'off';
    } else if (kind === K.kProgress) {
      el = document.createElement('progress');
      el.max = 100;
      el.value = 0;
      el.tvxLow = 0;
      el.tvxHigh = 100;
      el.tvxPos = 0;
      el.dataset.pos = 0;
    } else if (kind === K.kIcon) {
      el = document.createElement('img');
      el.alt = '';
    } else if (kind === K.kList) {
      // A list box whose items are buttons: a click chooses (tvx_wnd_list_add).
      el = document.createElement('ul');
      el.className = 'list';
      el.tvxChosen = -1;
      el.tvxWindow = win;
      el.tvxId = id;
    } else {
      el = document.createElement('span');
      el.textContent = text;
      if (flags & F.kSunken) el.classList.add('sunken');
      // A line shown only when it has something to say: assistive
      // technology hears it when it does.
      if (!(flags & F.kShown)) {
        el.classList.add('status');
        el.setAttribute('role', 'status');
      }
    }
    el.classList.add('control');
    name = UTF8ToString(name);
    if (name && !document.getElementById(name)) el.id = name;
    if (!(flags & F.kTabStop) && el.tabIndex >= 0 && kind !== K.kText && kind !== K.kIcon && kind !== K.kList) {
      el.tabIndex = -1;
    }
    if (!(flags & F.kShown)) el.hidden = true;
    el.style.setProperty('--x', x);
    el.style.setProperty('--y', y);
    el.style.setProperty('--w', cx);
    el.style.setProperty('--h', cy);
    w.client.append(el);
    // A label names the box or bar that follows it.
    var prev = el.previousElementSibling;
    if ((kind === K.kEdit || kind === K.kProgress) && prev && prev.tagName === 'SPAN' && !prev.classList.contains('sunken')) {
      prev.id = prev.id || ('label-' + win + '-' + id);
      el.setAttribute('aria-labelledby', prev.id);
    }
    var handle = TvxWnd.add(el);
    (w.items[id] = w.items[id] || []).push(handle);
    return handle;
  },

  tvx_wnd_show__deps: ['$TvxWnd'],
  tvx_wnd_show: function(win) {
    var w = TvxWnd.windows[win];
    if (!w) return;
    // A window goes first on the desk, before what the page adds there.
    if (!w.root.isConnected) TvxWnd.desk()[w.modal ? 'append' : 'prepend'](w.root);
    if (w.modal) {
      if (!w.root.open) w.returnFocus = TvxWnd.focusNow();
      if (!w.root.open) w.root.showModal();
      TvxWnd.fitToView(w.root, w.client);
      TvxWnd.listenView();
    } else {
      w.root.hidden = false;
    }
    // WM_INITDIALOG's TRUE: the first tab stop takes the focus. A window of
    // the page itself takes it without scrolling (a narrow window would open
    // at its far side), and in another page's frame only when the frame has
    // it already: the page around keeps its place and its focus.
    var first = Array.from(w.client.children).find(function(c) {
      return c.tabIndex >= 0 && !c.disabled && !c.hidden;
    });
    if (!first) return;
    if (w.modal) first.focus();
    else if (window.parent === window || document.hasFocus()) first.focus({preventScroll: true});
  },

  // Waits until tvx_wnd_end_modal; its result. -1 when nothing may wait now:
  // the window then stays until it ends itself.
  tvx_wnd_wait_end__deps: ['$TvxWnd'],
  tvx_wnd_wait_end__async: true,
  tvx_wnd_wait_end: function(win) {
    return TvxLane.wait(function(mayWait) {
      var w = TvxWnd.windows[win];
      if (!w) return -1;
      if (!mayWait) {
        w.detached = true;
        return -1;
      }
      return new Promise(function(resolve) { w.waiter = resolve; });
    });
  },

  tvx_wnd_end_modal__deps: ['$TvxWnd'],
  tvx_wnd_end_modal: function(win, result) {
    var w = TvxWnd.windows[win];
    if (!w) return;
    if (w.waiter) {
      var wake = w.waiter;
      w.waiter = null;
      setTimeout(function() { wake(result); });
    } else if (w.detached) {
      _tvx_wnd_destroy_detached(win);
    } else {
      // A window without a modal run: its owner decides what ending means;
      // until then it takes no more input.
      w.root.inert = true;
      setTimeout(function() {
        TvxLane.later(function() { _tvx_wnd_ended(win, result); });
      });
    }
  },

  tvx_wnd_destroy__deps: ['$TvxWnd'],
  tvx_wnd_destroy: function(win) {
    var w = TvxWnd.windows[win];
    if (!w) return;
    for (var t in w.timers) clearInterval(w.timers[t]);
    document.removeEventListener('pointerdown', w.outside);
    var hadFocus = w.root.contains(document.activeElement);
    if (w.root.open) w.root.close();
    w.root.remove();
    w.root.querySelectorAll('.control').forEach(function(c) {
      var h = TvxWnd.elements.indexOf(c);
      if (h > 0) TvxWnd.elements[h] = null;
    });
    TvxWnd.elements[win] = null;
    delete TvxWnd.windows[win];
    if (w.modal && (hadFocus || document.activeElement === document.body)) TvxWnd.focusBack(w.returnFocus);
  },

  tvx_wnd_item__deps: ['$TvxWnd'],
  tvx_wnd_item: function(win, id) {
    var w = TvxWnd.windows[win];
    return w && w.items[id] ? w.items[id][0] : 0;
  },

  tvx_wnd_set_text__deps: ['$TvxWnd'],
  tvx_wnd_set_text: function(handle, text) {
    var el = TvxWnd.at(handle);
    text = UTF8ToString(text);
    if (!el) return;
    if (TvxWnd.windows[handle]) {
      TvxWnd.windows[handle].title.textContent = text;
      if (!TvxWnd.windows[handle].modal) document.title = text;
    } else if (el instanceof HTMLInputElement) {
      el.value = text;
    } else {
      el.textContent = text;
    }
  },

  tvx_wnd_get_text__deps: ['$TvxWnd', '$stringToNewUTF8'],
  tvx_wnd_get_text: function(handle) {
    var el = TvxWnd.at(handle);
    var text = !el ? '' : TvxWnd.windows[handle] ? TvxWnd.windows[handle].title.textContent
                        : el instanceof HTMLInputElement ? el.value : el.textContent;
    return stringToNewUTF8(text);
  },

  // The handles of a window's controls, in order, into `out` (up to `room`); their count.
  tvx_wnd_children__deps: ['$TvxWnd'],
  tvx_wnd_children: function(win, out, room) {
    var w = TvxWnd.windows[win];
    if (!w) return 0;
    var list = Array.from(w.client.children).map(function(c) { return TvxWnd.elements.indexOf(c); })
                    .filter(function(h) { return h > 0; });
    for (var i = 0; i < list.length && i < room; ++i) HEAP32[(out >> 2) + i] = list[i];
    return list.length;
  },

  tvx_wnd_is_enabled__deps: ['$TvxWnd'],
  tvx_wnd_is_enabled: function(handle) {
    var el = TvxWnd.at(handle);
    return el && el.dataset.disabled !== '1' ? 1 : 0;
  },

  tvx_wnd_enable__deps: ['$TvxWnd'],
  tvx_wnd_enable: function(handle, enable) {
    var el = TvxWnd.at(handle);
    if (!el) return;
    if (!enable && el === document.activeElement) TvxWnd.lostFocus = el;
    el.dataset.disabled = enable ? '0' : '1';
    if ('disabled' in el && !(el instanceof HTMLProgressElement)) el.disabled = !enable;
    el.classList.toggle('disabled', !enable);
    if (el.classList.contains('list')) {
      el.querySelectorAll('button').forEach(function(b) { b.disabled = !enable; });
    } else if (!enable) {
      el.setAttribute('aria-disabled', 'true');
    } else {
      el.removeAttribute('aria-disabled');
    }
  },

  // ShowWindow: a control shown or hidden; a window put on the desk or
  // taken off it, without taking the focus.
  tvx_wnd_show_window__deps: ['$TvxWnd'],
  tvx_wnd_show_window: function(handle, show) {
    var el = TvxWnd.at(handle);
    if (!el) return;
    if (TvxWnd.windows[handle] && show && !el.isConnected) TvxWnd.desk().append(el);
    el.hidden = !show;
  },

  // LB_RESETCONTENT
  tvx_wnd_list_clear__deps: ['$TvxWnd'],
  tvx_wnd_list_clear: function(handle) {
    var el = TvxWnd.at(handle);
    if (!el) return;
    el.textContent = '';
    el.tvxChosen = -1;
  },

  // LB_ADDSTRING: an item as a button (its name, its date as shown, a remark) and
  // its description under it, as text, never markup.
  tvx_wnd_list_add__deps: ['$TvxWnd'],
  tvx_wnd_list_add: function(handle, key, name, date, shownDate, remark, description) {
    var el = TvxWnd.at(handle);
    if (!el) return;
    var index = el.children.length;
    var li = document.createElement('li');
    var button = document.createElement('button');
    button.type = 'button';
    button.dataset.key = UTF8ToString(key);
    button.disabled = el.dataset.disabled === '1';
    var label = document.createElement('span');
    label.className = 'name';
    label.textContent = UTF8ToString(name);
    button.append(label);
    date = UTF8ToString(date);
    if (date) {
      var day = document.createElement('time');
      day.dateTime = date;
      day.textContent = UTF8ToString(shownDate);
      button.append(' ', day);
    }
    remark = UTF8ToString(remark);
    if (remark) {
      var aside = document.createElement('span');
      aside.className = 'remark';
      aside.textContent = remark;
      button.append(' ', aside);
    }
    button.addEventListener('click', function() {
      el.tvxChosen = index;
      TvxWnd.command(el.tvxWindow, el.tvxId);
    });
    li.append(button);
    description = UTF8ToString(description);
    if (description) {
      var p = document.createElement('p');
      p.className = 'description';
      p.id = 'item-' + handle + '-' + index;
      p.textContent = description;
      button.setAttribute('aria-describedby', p.id);
      li.append(p);
    }
    el.append(li);
  },

  // LB_GETCURSEL
  tvx_wnd_list_cursel__deps: ['$TvxWnd'],
  tvx_wnd_list_cursel: function(handle) {
    var el = TvxWnd.at(handle);
    return el && el.classList.contains('list') ? el.tvxChosen : -1;
  },

  // The bar keeps its range and position, and grows by whole segments, as
  // the Windows control does: the element (and what assistive technology
  // reads) changes only when one more segment shows, a few dozen times in
  // an update. Each change costs the browser a frame.
  tvx_wnd_progress__deps: ['$TvxWnd'],
  tvx_wnd_progress: function(handle, low, high, position) {
    var el = TvxWnd.at(handle);
    if (!(el instanceof HTMLProgressElement)) return;
    var segment = 10;  // px: 8 drawn and 2 apart (tolvanex-updater.css)
    var pos = Math.min(Math.max(position, low), high);
    var span = Math.max(high - low, 1);
    var rangeChanged = el.tvxLow !== low || el.tvxHigh !== high;
    el.tvxLow = low;
    el.tvxHigh = high;
    el.tvxPos = pos;
    var width = el.tvxWidth || (el.tvxWidth = el.getBoundingClientRect().width || 1);
    var drawn = pos >= high ? -1 : Math.floor((pos - low) / span * width / segment);
    if (rangeChanged || drawn !== el.tvxDrawn) {
      el.tvxDrawn = drawn;
      el.max = span;
      el.value = drawn < 0 ? span : Math.min(span, drawn * segment / width * span);
      el.dataset.pos = pos;
      el.setAttribute('aria-valuemin', low);
      el.setAttribute('aria-valuemax', high);
      el.setAttribute('aria-valuenow', pos);
    }
  },

  tvx_wnd_progress_range__deps: ['$TvxWnd'],
  tvx_wnd_progress_range: function(handle, lowOut, highOut, posOut) {
    var el = TvxWnd.at(handle);
    if (!(el instanceof HTMLProgressElement)) return 0;
    HEAP32[lowOut >> 2] = el.tvxLow;
    HEAP32[highOut >> 2] = el.tvxHigh;
    HEAP32[posOut >> 2] = el.tvxPos;
    return 1;
  },

  tvx_wnd_set_timer__deps: ['$TvxWnd'],
  tvx_wnd_set_timer: function(win, id, ms) {
    var w = TvxWnd.windows[win];
    if (!w) return 0;
    if (w.timers[id]) clearInterval(w.timers[id]);
    w.timers[id] = setInterval(function() {
      TvxLane.now(function() { _tvx_wnd_timer(win, id); });
    }, ms);
    return 1;
  },

  tvx_wnd_kill_timer__deps: ['$TvxWnd'],
  tvx_wnd_kill_timer: function(win, id) {
    var w = TvxWnd.windows[win];
    if (!w || !w.timers[id]) return 0;
    clearInterval(w.timers[id]);
    delete w.timers[id];
    return 1;
  },

  // A box over the page with one "Aceptar", captioned like the program's
  // boxes; waits until it is answered, unless nothing may wait now.
  tvx_wnd_message_box__deps: ['$TvxWnd'],
  tvx_wnd_message_box__async: true,
  tvx_wnd_message_box: function(text, caption, stop) {
    return TvxLane.wait(function(mayWait) {
      var answered = TvxWnd.showMessageBox(UTF8ToString(text), UTF8ToString(caption), stop);
      return mayWait ? answered : 1;
    });
  },

  tvx_wnd_menu_add__deps: ['$TvxWnd'],
  tvx_wnd_menu_add: function(win, separator, id, name, text) {
    var w = TvxWnd.windows[win];
    if (!w) return 0;
    var item = document.createElement('li');
    if (separator) {
      item.setAttribute('role', 'separator');
    } else {
      item.setAttribute('role', 'menuitem');
      item.tabIndex = -1;
      name = UTF8ToString(name);
      if (name && !document.getElementById(name)) item.id = name;
      TvxWnd.setLabel(item, UTF8ToString(text));
      item.addEventListener('click', function() {
        TvxWnd.closeMenu(win);
        TvxWnd.sysCommand(win, id);
      });
    }
    w.menu.append(item);
    return 1;
  },

  tvx_wnd_set_icon__deps: ['$TvxWnd'],
  tvx_wnd_set_icon: function(win, url) {
    var w = TvxWnd.windows[win];
    url = UTF8ToString(url);
    if (w) w.icon.src = url;
  },

  tvx_wnd_set_image__deps: ['$TvxWnd'],
  tvx_wnd_set_image: function(handle, url) {
    var el = TvxWnd.at(handle);
    if (el instanceof HTMLImageElement) el.src = UTF8ToString(url);
  },

  tvx_wnd_client_size__deps: ['$TvxWnd'],
  tvx_wnd_client_size: function(win, widthOut, heightOut) {
    var w = TvxWnd.windows[win];
    HEAP32[widthOut >> 2] = w ? w.client.clientWidth : 0;
    HEAP32[heightOut >> 2] = w ? w.client.clientHeight : 0;
  },

  // The page's one file input: a choice is copied into the program's own
  // memory (never sent anywhere) as `folder`/NAME; returns NAME, or 0 when
  // nothing was chosen.
  tvx_wnd_choose_file__deps: ['$TvxWnd'],
  tvx_wnd_choose_file__async: true,
  tvx_wnd_choose_file: function(accept, folder) {
    return TvxLane.wait(function(mayWait) {
      var offered = TvxWnd.offered;
      TvxWnd.offered = null;
      var input = document.querySelector('input[type=file]');
      if ((!input && !offered) || !mayWait) return 0;
      folder = UTF8ToString(folder);
      if (offered) return TvxWnd.keepFile(offered, folder);
      input.accept = UTF8ToString(accept);
      return TvxWnd.chooseFile(input).then(function(file) {
        return file ? TvxWnd.keepFile(file, folder) : 0;
      });
    });
  },

  tvx_wnd_set_box_caption__deps: ['$TvxWnd'],
  tvx_wnd_set_box_caption: function(caption) {
    TvxWnd.boxCaption = UTF8ToString(caption);
  },

  // A file dropped on the page is the command `id` of this window, as if
  // its chooser had given that file.
  tvx_wnd_accept_drops__deps: ['$TvxWnd'],
  tvx_wnd_accept_drops: function(win, id) {
    var w = TvxWnd.windows[win];
    if (!w) return;
    w.dropId = id;
    TvxWnd.listenDrops();
  },

  tvx_wnd_begin_thread__deps: ['$TvxWnd'],
  tvx_wnd_begin_thread: function(proc, param) {
    if (++TvxWnd.threads === 1) window.addEventListener('beforeunload', TvxWnd.guardUnload);
    setTimeout(function() {
      TvxLane.later(function() { _tvx_wnd_run_thread(proc, param); }, function() {
        if (--TvxWnd.threads === 0) window.removeEventListener('beforeunload', TvxWnd.guardUnload);
      });
    });
    return 1;
  },

  tvx_wnd_module_path__deps: ['$stringToNewUTF8'],
  tvx_wnd_module_path: function() {
    var path = typeof wasmBinaryFile === 'string' ? wasmBinaryFile : 'tolvanex-updater.wasm';
    return stringToNewUTF8(path);
  },
});
