// Waits that last as long as what they wait for keeps moving, instead of a
// fixed time that a busy machine overruns.

export class Stalled extends Error {}

// Calls ready() until it gives something truthy, and returns that. progress()
// gives something that changes while the thing waited for moves (compared as
// JSON); after `quiet` ms without a change this throws Stalled. While it
// moves, moving(what) is called every quiet / 6 ms at most.
export async function until(what, ready, progress = () => null,
  {quiet = 60000, poll = 50, moving = (w) => process.stderr.write(`still moving: ${w}\n`)} = {}) {
  const look = async () => JSON.stringify(await progress());
  let last = await look();
  let since = Date.now();
  let told = since;
  for (;;) {
    const value = await ready();
    if (value) return value;
    const seen = await look();
    const now = Date.now();
    if (seen !== last) {
      [last, since] = [seen, now];
      if (now - told >= quiet / 6) {
        told = now;
        moving(what);
      }
    } else if (now - since >= quiet) {
      throw new Stalled(`no progress for ${quiet / 1000} s while waiting for ${what}`);
    }
    await new Promise((r) => setTimeout(r, poll));
  }
}
