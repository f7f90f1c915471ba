// SHA-256 for sys/Sha256Web.cpp from the browser's Web Crypto, which a page
// has only when it is secure (HTTPS, localhost): 1 with the digest at `out`,
// or 0 without Web Crypto, or when another call waits already.
mergeInto(LibraryManager.library, {
  tvx_sha256__deps: ['$TvxLane'],
  tvx_sha256__async: true,
  tvx_sha256: function(data, size, out) {
    return TvxLane.wait(function(mayWait) {
      var subtle = typeof crypto !== 'undefined' && crypto.subtle;
      if (!subtle || !mayWait) return 0;
      // A copy: the program's memory may grow, and move, while the browser hashes.
      return subtle.digest('SHA-256', HEAPU8.slice(data, data + size)).then(function(digest) {
        HEAPU8.set(new Uint8Array(digest), out);
        return 1;
      });
    });
  },
});
