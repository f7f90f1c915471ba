// until(): a wait outlasts its quiet period while things move, and gives up,
// saying so, once they stop. A quiet period of 1 s keeps it short.
import assert from 'node:assert/strict';
import {test} from 'node:test';
import {Stalled, until} from './stall.mjs';

// A source that moves each time it is looked at, `moves` times, then stops.
const source = (moves) => {
  const s = {count: 0};
  s.look = () => (s.count < moves ? ++s.count : s.count);
  return s;
};
const options = {quiet: 1000, poll: 50, moving: () => {}};

test('a moving wait outlasts the quiet period, and gives its value', async () => {
  const s = source(40);  // 2 s and more
  assert.equal(await until('the source', () => s.count === 40 && 'done', s.look, options), 'done');
});

test('a wait on a source that stops gives up, and says so', async () => {
  const s = source(3);
  await assert.rejects(until('the source', () => false, s.look, options),
    (e) => e instanceof Stalled && e.message === 'no progress for 1 s while waiting for the source' && s.count === 3);
});
