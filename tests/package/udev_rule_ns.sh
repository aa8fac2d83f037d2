#!/usr/bin/env bash
# Runs inside a private mount namespace (unshare -m): a fake sysfs with one USB device and its tty,
# only the given rules file, and /dev and /run of its own, so udevadm test changes nothing outside.
# Usage: udev_rule_ns.sh RULES_FILE VENDOR PRODUCT TTY_NAME SCRATCH_DIR
# Prints the properties udevadm test gives the tty, then "usb_device:" and those of the USB device.
set -euo pipefail
rules=$1 vid=$2 pid=$3 name=$4 scratch=$5
mkdir -p "$scratch/rules" "$scratch/empty" "$scratch/dev" "$scratch/run"
cp "$rules" "$scratch/rules/"
mount -t tmpfs none /sys
mount --bind "$scratch/dev" /dev
mount --bind "$scratch/run" /run
for d in /etc/udev/rules.d /run/udev/rules.d /lib/udev/rules.d /usr/lib/udev/rules.d; do
  [ -d "$d" ] && mount --bind "$scratch/empty" "$d"
done
mount --bind "$scratch/rules" /usr/lib/udev/rules.d

mkdir -p /sys/bus/usb/drivers/usb /sys/bus/usb/drivers/drv /sys/bus/pci /sys/class/tty
pci=/sys/devices/pci0000:00/0000:00:14.0
mkdir -p "$pci" && ln -s /sys/bus/pci "$pci/subsystem" && echo 'PCI_SLOT_NAME=0000:00:14.0' >"$pci/uevent"
hub=$pci/usb1
mkdir -p "$hub" && ln -s /sys/bus/usb "$hub/subsystem" && printf 'DEVTYPE=usb_device\nBUSNUM=001\nDEVNUM=001\n' >"$hub/uevent"
dev=$hub/1-2
mkdir -p "$dev" && ln -s /sys/bus/usb "$dev/subsystem" && ln -s /sys/bus/usb/drivers/usb "$dev/driver"
printf 'DEVTYPE=usb_device\nDRIVER=usb\nPRODUCT=%x/%x/100\nBUSNUM=001\nDEVNUM=002\n' "0x$vid" "0x$pid" >"$dev/uevent"
echo "$vid" >"$dev/idVendor" && echo "$pid" >"$dev/idProduct"
intf=$dev/1-2:1.0
mkdir -p "$intf" && ln -s /sys/bus/usb "$intf/subsystem" && ln -s /sys/bus/usb/drivers/drv "$intf/driver"
printf 'DEVTYPE=usb_interface\nDRIVER=drv\n' >"$intf/uevent"
tty=$intf/tty/$name
mkdir -p "$tty" && ln -s /sys/class/tty "$tty/subsystem" && ln -s "$tty" "/sys/class/tty/$name"
printf 'MAJOR=166\nMINOR=0\nDEVNAME=%s\n' "$name" >"$tty/uevent" && echo 166:0 >"$tty/dev"

# The tree is on a tmpfs, which udev would refuse as no sysfs.
export SYSTEMD_DEVICE_VERIFY_SYSFS=0
udevadm test --action=add "/sys/class/tty/$name" 2>&1
echo "usb_device:"
udevadm test --action=add "$dev" 2>"$scratch/usb_device.err"
