// One call into the program at a time may wait (Asyncify keeps one suspended
// stack): a wait in a dialog, a file choice, a report on its way. What the
// page asks of the program while such a call waits runs at once but may not
// wait itself; the C++ side learns that from TvxLane.mayWait() and carries on
// without waiting (a box that stays open by itself, a choice not offered).

mergeInto(LibraryManager.library, {
  $TvxLane__deps: ['$Asyncify'],
  $TvxLane: {
    active: false,
    queue: [],
    // True inside a call that may suspend itself now.
    mayWait: function() {
      return !(Asyncify.state === Asyncify.State.Normal && Asyncify.currData);
    },
    // True while a suspended call is put back on its stack: an import that
    // waited must go straight back to Asyncify, whatever changed meanwhile.
    resuming: function() {
      return Asyncify.state === Asyncify.State.Rewinding;
    },
    // `call` enters the program. Runs it now; when nothing else waits, as a
    // call that may wait, and the next queued call follows once it is done.
    now: function(call) {
      if (TvxLane.active) {
        try { call(); } catch (e) { TvxLane.report(e); }
        return;
      }
      TvxLane.start(call);
    },
    // Runs `call` as a call that may wait, after the one that waits now;
    // then `done`, if given.
    later: function(call, done) {
      if (TvxLane.active) TvxLane.queue.push([call, done]);
      else TvxLane.start(call, done);
    },
    start: function(call, done) {
      TvxLane.active = true;
      var finish = function() {
        TvxLane.active = false;
        if (done) done();
        var next = TvxLane.queue.shift();
        if (next) TvxLane.start(next[0], next[1]);
      };
      try {
        call();
      } catch (e) {
        TvxLane.report(e);
      }
      if (Asyncify.currData) Asyncify.whenDone().then(finish, function(e) { TvxLane.report(e); finish(); });
      else finish();
    },
    report: function(e) {
      console.error('tolvanex:', e);
    },
  },
});
