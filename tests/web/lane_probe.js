// The probe's imports: the test (Module.probe) answers its waits; the lane
// is lent to the test as Module.lane.
mergeInto(LibraryManager.library, {
  tvx_probe_wait__deps: ['$TvxLane'],
  tvx_probe_wait__postset: 'Module["lane"] = TvxLane;',
  tvx_probe_wait__async: true,
  tvx_probe_wait: function(run, step) {
    return TvxLane.wait(function(mayWait) { return Module.probe.wait(run, step, mayWait); });
  },
  tvx_probe_got: function(run, value) {
    Module.probe.got(run, value);
  },
});
