// One call into the program at a time may wait (Asyncify keeps one suspended
// stack): a wait in a dialog, a file choice, a report on its way. What the
// page asks of the program while such a call waits runs at once but may not
// wait itself: an import that would wait is told so and carries on without
// waiting (a box that stays open by itself, a choice not offered).
//
// An import that may wait is marked `NAME__async: true` beside its
// definition, Emscripten's own mark: the build gives Asyncify the marked
// names. Its body is TvxLane.wait(...), which runs it once per call, however
// often Asyncify calls the import to put the waiting call back on its stack.

mergeInto(LibraryManager.library, {
  $TvxLane__deps: ['$Asyncify'],
  $TvxLane: {
    active: false,  // a call that may wait is under way
    asleep: false,  // a call waits for the browser now: no other may
    done: null,     // what follows the call under way
    queue: [],
    // The body of an import that may wait: `begin(mayWait)` gives the
    // import's value or, only when mayWait, a promise of it. A promise that
    // fails wakes the call with 0.
    wait: function(begin) {
      return Asyncify.handleSleep(function(wakeUp) {
        var mayWait = !TvxLane.asleep;
        var result = begin(mayWait);
        if (!result || typeof result.then !== 'function') {
          wakeUp(result);
          return;
        }
        if (!mayWait) throw new Error('a second call waits while one waits');
        TvxLane.asleep = true;
        var wake = function(value) {
          TvxLane.asleep = false;
          try {
            wakeUp(value);
          } catch (e) {
            TvxLane.report(e);
          }
          // Unless it waits again, the call has ended.
          if (!TvxLane.asleep) TvxLane.finish();
        };
        result.then(wake, function(e) {
          TvxLane.report(e);
          wake(0);
        });
      });
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
      TvxLane.done = done || null;
      try {
        call();
      } catch (e) {
        TvxLane.report(e);
      }
      if (!TvxLane.asleep) TvxLane.finish();
    },
    finish: function() {
      var done = TvxLane.done;
      TvxLane.active = false;
      TvxLane.done = null;
      if (done) done();
      var next = TvxLane.queue.shift();
      if (next) TvxLane.start(next[0], next[1]);
    },
    report: function(e) {
      console.error('tolvanex:', e);
    },
  },
});
