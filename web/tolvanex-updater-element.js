// <tolvanex-updater>: the updater page inside another page of the same site.
//
//   <script src="/actualizador/tolvanex-updater-element.js" defer></script>
//   <tolvanex-updater></tolvanex-updater>
//
// The page runs in a frame of its own (its program, its styles and its
// boxes stay apart from the page around it), loaded from beside this
// script, and the frame takes the size of the updater's window with a few
// of the maker's releases listed below it; `height` (CSS pixels) makes it
// taller, to list more of them:
//
//   <tolvanex-updater height="600"></tolvanex-updater>
(function() {
  'use strict';
  if (typeof customElements === 'undefined' || customElements.get('tolvanex-updater')) return;
  var script = document.currentScript;
  var page = new URL('./', script ? script.src : location.href).href;

  class TolvanexUpdater extends HTMLElement {
    constructor() {
      super();
      var frame = document.createElement('iframe');
      frame.src = page;
      frame.title = 'Tolvanex Updater';
      frame.allow = 'hid';
      frame.style.cssText = 'display:block;border:0;width:600px;height:200px;max-width:100%;background:transparent';
      var shadow = this.attachShadow({mode: 'open'});
      try {
        var sheet = new CSSStyleSheet();
        sheet.replaceSync(':host{display:block}');
        shadow.adoptedStyleSheets = [sheet];
      } catch (e) {
        // An older browser: the element stays inline, the frame as large.
      }
      shadow.append(frame);
      this.frame = frame;
      this.size = null;
      this.onSize = function(e) {
        var size = e.source === frame.contentWindow && e.data && e.data.tolvanexUpdater;
        if (!size) return;
        this.size = size;
        this.fit();
      }.bind(this);
    }

    static get observedAttributes() {
      return ['height'];
    }

    attributeChangedCallback() {
      this.fit();
    }

    fit() {
      if (!this.size) return;
      this.frame.style.width = this.size.width + 'px';
      this.frame.style.height = Math.max(this.size.height, Number(this.getAttribute('height')) || 0) + 'px';
    }

    connectedCallback() {
      window.addEventListener('message', this.onSize);
    }

    disconnectedCallback() {
      window.removeEventListener('message', this.onSize);
    }
  }
  customElements.define('tolvanex-updater', TolvanexUpdater);
})();
