# Not a test but a measure: the wall time of `flash --all` for 1, 2, 4 and 8
# controllers, each a gadget on its own bus whose side takes one report per
# millisecond, as full-speed hardware does (played on FunctionFS: f_hid has
# four instances at most). bench/multi-scale.sh boots it and makes the table.
# Beside each, the floor that the machine itself sets: as many `vmtool bare`
# processes at once, each writing one controller's 2,049 reports back to back
# with no tool around them.
# One "TVX SCALE n=COUNT run=R ms=TIME bare=TIME" line per run; the checks
# only make sure that every run sent every controller its whole stream.
runs=${tvx_runs:-3}
tvx_plan $(((4 + 4 * (1 + 2 + 4 + 8)) * runs + 1))
. /scenario/common.sh
. /scenario/gadgets.sh
gadgets_load 8
for n in 1 2 3 4 5 6 7 8; do make_ffs_gadget $n; done
for r in $(seq 1 $runs); do
  for count in 1 2 4 8; do
    readers=
    for n in $(seq 1 $count); do
      serve $n /tmp/scale-$n -p 1000
      readers="$readers $rec_pid"
    done
    vmtool time tolvanex-cli flash --all -q "$hex" > /tmp/scale.out 2> /tmp/scale.err
    tvx_expect "n=$count run=$r: exit code" 0 $?
    ms=$(sed -n 's/^time: \(.*\) ms$/\1/p' /tmp/scale.err)
    for pid in $readers; do stop_record $pid; done
    for n in $(seq 1 $count); do
      tvx_expect_same "n=$count run=$r: controller $n received its stream" /tmp/expect8 /tmp/scale-$n
      unplug $n
    done
    readers= nodes=
    for n in $(seq 1 $count); do
      serve $n /tmp/bare-$n -p 1000
      readers="$readers $rec_pid"
      nodes="$nodes $(nodes_of $n)"
    done
    vmtool time sh -c 'for node; do vmtool bare "$node" /tmp/image.bin > /dev/null & done; wait' - $nodes \
      2> /tmp/bare.err
    bare=$(sed -n 's/^time: \(.*\) ms$/\1/p' /tmp/bare.err)
    for pid in $readers; do stop_record $pid; done
    for n in $(seq 1 $count); do
      tvx_expect_same "n=$count run=$r: bare writer $n sent the stream" /tmp/expect8 /tmp/bare-$n
      unplug $n
    done
    tvx_say "SCALE n=$count run=$r ms=$ms bare=$bare"
  done
done
