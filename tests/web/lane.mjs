// The lane under node, on a small program whose import waits as the page's
// do: one call waits at a time, a call that comes meanwhile runs without
// waiting, the next call starts when the one before has wholly ended.
//
//   node --test lane.mjs   (the program from TVX_LANE_PROBE)
import {createRequire} from 'node:module';
import {test} from 'node:test';
import assert from 'node:assert/strict';

const settled = () => new Promise((resolve) => setImmediate(resolve));

test('one waiting call at a time, each to its end', async () => {
  const log = [];
  const pending = {};
  const probe = {
    wait(run, step, mayWait) {
      log.push(`${run}.${step} ${mayWait ? 'waits' : 'may not wait'}`);
      if (!mayWait) return 99;
      return new Promise((resolve, reject) => { pending[`${run}.${step}`] = {resolve, reject}; });
    },
    got(run, value) { log.push(`${run} got ${value}`); },
  };
  const program = await createRequire(import.meta.url)(process.env.TVX_LANE_PROBE)({probe});
  const lane = program.lane;
  const run = (n, times) => () => program._tvx_probe_run(n, times);
  const errors = [];
  lane.report = (e) => errors.push(String(e));

  lane.later(run(1, 2), () => log.push('1 done'));
  lane.later(run(2, 1), () => log.push('2 done'));
  lane.now(run(3, 1));  // a timer tick, say, while 1 waits
  assert.deepEqual(log, ['1.0 waits', '3.0 may not wait', '3 got 99']);

  log.length = 0;
  pending['1.0'].resolve(10);
  await settled();
  assert.deepEqual(log, ['1 got 10', '1.1 waits']);  // 1 is not done: 2 waits its turn

  log.length = 0;
  pending['1.1'].resolve(11);
  await settled();
  assert.deepEqual(log, ['1 got 11', '1 done', '2.0 waits']);

  // A wait that fails gives 0, says why, and the lane goes on.
  log.length = 0;
  pending['2.0'].reject(new Error('gone'));
  await settled();
  assert.deepEqual(log, ['2 got 0', '2 done']);
  assert.deepEqual(errors, ['Error: gone']);
  assert.equal(lane.active || lane.asleep, false);
});
