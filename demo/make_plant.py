#!/usr/bin/python3
"""Writes demo/plant.vlk, the bundled demo plant: two controllers on Modbus TCP (the
controller simulator answers for both on loopback) with analog and binary tags and alarms.
Uses the configuration writer of the test fixtures, which knows the file layout."""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "fixtures"))
import make_fixtures as mf  # noqa: E402

INT, REAL, BOOL = 2, 4, 11
INPUT_STATUS, OUTPUT_COIL, INPUT_REGISTER, HOLDING_REGISTER = 0, 1, 2, 3
READ, READ_WRITE = 1, 3


def boiler_house():
    level = mf.tag("Level", data_type=INT, location=HOLDING_REGISTER, address=0, access=READ_WRITE,
                   simulation=0, description="Feed tank level",
                   scaling=mf.analog_data(conversion=1, eng_min=0.0, eng_max=100.0, raw_min=0.0,
                                          raw_max=1000.0, units="%", low=0.0, high=100.0),
                   alarm=mf.analog_alarm(enable=0x800C, ack=0x800C, normal_priority=100,
                                         normal_text="Level normal", priorities=[0, 0, 600, 900],
                                         texts=["", "", "Level high", "Level high high"],
                                         limits=[0.0, 0.0, 80.0, 95.0], area="Boiler"))
    pressure = mf.tag("Pressure", data_type=INT, location=HOLDING_REGISTER, address=1,
                      simulation=0, description="Steam pressure",
                      scaling=mf.analog_data(conversion=1, eng_min=0.0, eng_max=16.0,
                                             raw_min=0.0, raw_max=4000.0, units="bar",
                                             low=0.0, high=16.0))
    temperature = mf.tag("Temperature", data_type=INT, location=INPUT_REGISTER, address=0,
                         simulation=0, description="Boiler house temperature",
                         scaling=mf.analog_data(conversion=1, eng_min=0.0, eng_max=100.0,
                                                raw_min=0.0, raw_max=1000.0, units="degC",
                                                low=0.0, high=100.0))
    pump = mf.tag("Pump", data_type=BOOL, location=OUTPUT_COIL, address=0, access=READ_WRITE,
                  simulation=0, description="Feed pump running",
                  alarm=mf.binary_alarm(enable=0x8002, ack=0x0002, normal_priority=100,
                                        normal_text="Pump stopped", alarm_priority=500,
                                        alarm_text="Pump running", area="Boiler"))
    door = mf.tag("Door", data_type=BOOL, location=INPUT_STATUS, address=0, simulation=0,
                  description="Boiler house door",
                  alarm=mf.binary_alarm(enable=0x8002, ack=0x0002, normal_priority=100,
                                        normal_text="Door closed", alarm_priority=700,
                                        alarm_text="Door open", area="Boiler"))
    params = mf.params(primary="COM1", secondary="COM1", address=1, tcp=1, ip1="127.0.0.1",
                       ip2="127.0.0.1", tag_scan=1000, event_scan=1000, timeout=500)
    return mf.device("BoilerHouse", params_=params, description="Boiler house controller",
                     next_tag=6, tags=[level, pressure, temperature, pump, door])


def tank_farm():
    wave = mf.tag("Flow", data_type=INT, location=HOLDING_REGISTER, address=1, simulation=0,
                  description="Outlet flow",
                  scaling=mf.analog_data(conversion=1, eng_min=0.0, eng_max=250.0, raw_min=0.0,
                                         raw_max=4000.0, units="m3/h", low=0.0, high=250.0))
    overfill = mf.tag("Overfill", data_type=BOOL, location=INPUT_STATUS, address=1, simulation=0,
                      description="Overfill switch",
                      alarm=mf.binary_alarm(enable=0x8002, ack=0x0002, normal_priority=100,
                                            normal_text="Overfill cleared", alarm_priority=1000,
                                            alarm_text="Tank overfill", area="Tanks"))
    tank1 = mf.group("Tank1", "North tank", 3, [wave, overfill])
    params = mf.params(primary="COM1", secondary="COM1", address=2, tcp=1, ip1="127.0.0.2",
                       ip2="127.0.0.2", tag_scan=1000, event_scan=1000, timeout=500)
    return mf.device("TankFarm", params_=params, description="Tank farm controller",
                     groups=[tank1])


def main():
    cfg = mf.config(devices=[boiler_house(), tank_farm()], next_device=3)
    data = mf.write_document(cfg)
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "plant.vlk")
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
