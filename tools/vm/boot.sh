#!/usr/bin/env bash
# Boots an image from build-image.sh once and waits for it to power off.
#   boot.sh IMAGE_DIR RESULTS TIMEOUT_S [KERNEL_ARG]...
# The guest's second serial port goes to RESULTS, its console to
# RESULTS.console. TVX_VM_MEMORY sets the guest's memory in MiB (512).
# Exit status: QEMU's, or 124 when TIMEOUT_S ran out.
set -euo pipefail
image=${1:?usage: boot.sh IMAGE_DIR RESULTS TIMEOUT_S [KERNEL_ARG]...}
results=${2:?}
limit=${3:?}
shift 3
rm -f "$results" "$results.console"
# TCG: the stock kernel does not come up under KVM on every host.
exec timeout -k 5 "$limit" qemu-system-x86_64 -accel tcg -m "${TVX_VM_MEMORY:-512}" -smp 1 \
  -nographic -no-reboot -nodefaults -monitor none \
  -serial "file:$results.console" -serial "file:$results" \
  -kernel "$image/vmlinuz" -initrd "$image/initrd.cpio" \
  -append "console=ttyS0 quiet panic=-1 $*" < /dev/null
