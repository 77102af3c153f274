#!/usr/bin/python3
"""Writes the plant benchmark's configuration with the fixtures' configuration writer.

  make_plant_config.py OUT ITEMS N T   N Modbus TCP controllers, Dev1 at 127.0.0.1 to DevN
                                       at 127.0.0.N, with T tags each; ITEMS gets every
                                       item ID, one a line, controller by controller

The tags of a controller: four tenths holding registers and three tenths input registers, each
run repeating INT, LONG and REAL (1, 2 and 2 registers), and three tenths coils; one tag in ten
carries an enabled alarm (a high limit on INT registers, the true state on coils). The holding
register run starts at 0, where the simulator's demo values change, and its INT at address 10
(H10) is the benchmark's probe.
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "fixtures"))
import make_fixtures as mf  # noqa: E402

INT, LONG, REAL, BOOL = 2, 3, 4, 11
OUTPUT_COIL, INPUT_REGISTER, HOLDING_REGISTER = 1, 2, 3
READ = 1
REGISTER_RUN = [(INT, 1), (LONG, 2), (REAL, 2)]


def register_tags(prefix, location, count, alarmed):
    tags, address = [], 0
    for i in range(count):
        data_type, span = REGISTER_RUN[i % 3]
        alarm = None
        if alarmed(i) and data_type == INT:
            alarm = mf.analog_alarm(enable=1, priorities=[0, 0, 500, 0], limits=[0, 0, 900, 0],
                                    texts=["", "", "High", ""])
        tags.append(mf.tag("%s%d" % (prefix, address), data_type=data_type, location=location,
                           address=address, access=READ, simulation=0, alarm=alarm))
        address += span
    return tags


def coil_tags(count, alarmed):
    tags = []
    for i in range(count):
        alarm = mf.binary_alarm(enable=1, alarm_priority=500, alarm_text="On") if alarmed(i) else None
        tags.append(mf.tag("C%d" % i, data_type=BOOL, location=OUTPUT_COIL, address=i,
                           access=READ, simulation=0, alarm=alarm))
    return tags


def plant(devices, per_device):
    holding = per_device * 4 // 10
    inputs = per_device * 3 // 10
    coils = per_device - holding - inputs
    every_tenth = lambda i: i % 10 == 9  # noqa: E731
    out = []
    for d in range(devices):
        ip = "127.0.0.%d" % (d + 1)
        params = mf.params(primary="COM1", secondary="COM1", address=1, tcp=1, ip1=ip, ip2=ip,
                           tag_scan=1000, event_scan=1000, timeout=500, retries=3)
        tags = (register_tags("H", HOLDING_REGISTER, holding, every_tenth) +
                register_tags("I", INPUT_REGISTER, inputs, every_tenth) +
                coil_tags(coils, every_tenth))
        out.append(mf.device("Dev%d" % (d + 1), params_=params, next_tag=len(tags) + 1,
                             tags=tags))
    return mf.config(devices=out, next_device=devices + 1)


def main():
    out, items, devices, per_device = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    if not 1 <= devices <= 254 or per_device < 40:
        sys.exit("make_plant_config.py: 1 to 254 controllers of at least 40 tags")
    cfg = plant(devices, per_device)
    with open(out, "wb") as f:
        f.write(mf.write_document(cfg))
    with open(items, "w") as f:
        for device in cfg["root"]["groups"]:
            for t in device["tags"]:
                f.write("%s.%s\n" % (device["name"], t["name"]))


if __name__ == "__main__":
    main()
