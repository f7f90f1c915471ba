// Lends the page's lane to the catalogue's test as Module.lane.
mergeInto(LibraryManager.library, {
  tvx_probe_lend_lane__deps: ['$TvxLane'],
  tvx_probe_lend_lane__postset: 'Module["lane"] = TvxLane;',
  tvx_probe_lend_lane: function() {},
});
