# Not a test but a measure: the wall time of `flash --all` for 1, 2, 4 and 8
# controllers, each a gadget whose side takes one report per millisecond, as
# full-speed hardware does. bench/multi-scale.sh boots it and makes the table.
# One "TVX SCALE n=COUNT run=R ms=TIME" line per run; the checks only make
# sure that every run sent every controller its whole stream.
runs=${tvx_runs:-3}
tvx_plan $((2 * (1 + 2 + 4 + 8) * runs + 1))
. /scenario/common.sh
. /scenario/gadgets.sh
gadgets_load 8
for n in 1 2 3 4 5 6 7 8; do make_gadget $n 1; done
for count in 1 2 4 8; do
  for n in $(seq 1 $count); do plug $n; done
  for r in $(seq 1 $runs); do
    readers=
    for n in $(seq 1 $count); do
      record $n 0 /tmp/scale-$n -p 1000
      readers="$readers $rec_pid"
    done
    vmtool time tolvanex-cli flash --all -q "$hex" > /tmp/scale.out 2> /tmp/scale.err
    rc=$?
    ms=$(sed -n 's/^time: \(.*\) ms$/\1/p' /tmp/scale.err)
    for pid in $readers; do stop_record $pid; done
    for n in $(seq 1 $count); do
      tvx_expect_same "n=$count run=$r: controller $n received its stream (exit $rc)" /tmp/expect8 /tmp/scale-$n
    done
    tvx_say "SCALE n=$count run=$r ms=$ms"
  done
done
