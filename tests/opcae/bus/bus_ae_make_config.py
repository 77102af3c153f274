#!/usr/bin/python3
"""Writes the configuration of the AE end-to-end tests with the fixtures' configuration writer:
one Modbus TCP device Plc1 with two channels (127.0.0.2 and 127.0.0.3, both the controller
simulator), an analog Level with High and HiHi alarms, a Pump with a binary alarm, a group
Tanks with an analog Flow, and the "Communication to device" alarm switched on.

  bus_ae_make_config.py OUT [EVENT_SCAN_MS]
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "fixtures"))
import make_fixtures as mf  # noqa: E402

INT, BOOL = 2, 11
OUTPUT_COIL, HOLDING_REGISTER = 1, 3
READ, READ_WRITE = 1, 3


def percent():
    return mf.analog_data(conversion=1, eng_min=0.0, eng_max=100.0, raw_min=0.0, raw_max=1000.0,
                          units="%", low=0.0, high=100.0)


def plant(event_scan=100):
    level = mf.tag("Level", data_type=INT, location=HOLDING_REGISTER, address=0,
                   access=READ_WRITE, simulation=0, description="Tank level", scaling=percent(),
                   alarm=mf.analog_alarm(enable=0x800C, ack=0x000C, normal_priority=100,
                                         normal_text="level normal", priorities=[0, 0, 600, 900],
                                         texts=["", "", "level high", "level very high"],
                                         limits=[0.0, 0.0, 80.0, 90.0], area="North"))
    pump = mf.tag("Pump", data_type=BOOL, location=OUTPUT_COIL, address=0, access=READ_WRITE,
                  simulation=0, description="Feed pump",
                  alarm=mf.binary_alarm(enable=0x8002, ack=0x0002, normal_priority=100,
                                        normal_text="pump stopped", alarm_priority=500,
                                        alarm_text="pump running"))
    flow = mf.tag("Flow", data_type=INT, location=HOLDING_REGISTER, address=2, access=READ,
                  simulation=0, description="Outlet flow", scaling=percent(),
                  alarm=mf.analog_alarm(enable=0x8004, ack=0x0004, normal_priority=100,
                                        normal_text="flow normal", priorities=[0, 0, 700, 0],
                                        texts=["", "", "flow high", ""],
                                        limits=[0.0, 0.0, 50.0, 0.0]))
    tanks = mf.group("Tanks", "Tank farm", 2, [flow])
    alarms = [mf.device_alarm() for _ in range(4)]
    alarms[2] = mf.device_alarm(enable=0x8001, ack=0x0001, normal_priority=100,
                                normal_text="communication OK", failure_priority=1000,
                                failure_text="communication failure")
    params = mf.params(primary="COM1", secondary="COM1", address=1, tcp=1, ip1="127.0.0.2",
                       ip2="127.0.0.3", tag_scan=500, event_scan=event_scan, timeout=200, retries=1,
                       supervisor_time=300, alarms=alarms)
    plc1 = mf.device("Plc1", params_=params, description="Simulator", next_tag=4,
                     tags=[level, pump], groups=[tanks])
    return mf.config(devices=[plc1], next_device=2)


def main():
    with open(sys.argv[1], "wb") as f:
        f.write(mf.write_document(plant(*[int(a) for a in sys.argv[2:3]])))


if __name__ == "__main__":
    main()
