// Device texts as the driver's requests carry them: shaped as the library's device documents,
// written compactly with members in name order, numbers of a million or more in exponent form.
#pragma once

#include <string>

namespace decision_test {

// A memory stick as the library describes it. "Data1" of "BusTypeGuid" (the USB bus type,
// 2642275260) is written in exponent form and comes before "ClassName" and "DeviceDescription".
inline const std::u16string kKingstonStick =
    uR"({"ConnectionInformation":{"ConnectionIndex":2,"ConnectionStatus":1,"CurrentConfigurationValue":1,)"
    uR"("DeviceAddress":7,"DeviceDescriptor":{"Configurations":[],"Manufacturer":"Kingston","Product":"DataTraveler 3.0",)"
    uR"("SerialNumber":"60A44C413AB2F0B0A9A0005B","bDescriptorType":1,"bDeviceClass":0,"bDeviceProtocol":0,)"
    uR"("bDeviceSubClass":0,"bLength":18,"bMaxPacketSize0":9,"bNumConfigurations":1,"bcdDevice":256,"bcdUSB":800,)"
    uR"("iManufacturer":1,"iProduct":2,"iSerialNumber":3,"idProduct":5703,"idVendor":2385},"DeviceIsHub":false,)"
    uR"("NumberOfOpenPipes":2,"PipeList":[],"Speed":3},"DEVINST":3,)"
    uR"("DeviceDescriptor":{"Configurations":[],"Manufacturer":"Kingston","Product":"DataTraveler 3.0",)"
    uR"("SerialNumber":"60A44C413AB2F0B0A9A0005B","bDescriptorType":1,"bDeviceClass":0,"bDeviceProtocol":0,)"
    uR"("bDeviceSubClass":0,"bLength":18,"bMaxPacketSize0":9,"bNumConfigurations":1,"bcdDevice":256,"bcdUSB":800,)"
    uR"("iManufacturer":1,"iProduct":2,"iSerialNumber":3,"idProduct":5703,"idVendor":2385},)"
    uR"("DeviceProperty":{"BusNumber":0,"BusTypeGuid":{"Data1":2.64228E+009,"Data2":51293,"Data3":4561,)"
    uR"("Data4":[158,180,0,96,8,195,161,154]},"ClassGuid":"{36fc9e60-c465-11cf-8056-444553540000}",)"
    uR"("ClassName":"USB","CompatibleIDs":["USB\\Class_08&SubClass_06&Prot_50","USB\\Class_08"],)"
    uR"("DeviceDescription":"USB Mass Storage Device","DriverKeyName":"{36fc9e60-c465-11cf-8056-444553540000}\\0012",)"
    uR"("EnumeratorName":"USB","HardwareID":["USB\\VID_0951&PID_1647&REV_0100","USB\\VID_0951&PID_1647"],)"
    uR"("InstallState":"InstallStateInstalled","LegacyBusType":"PNPBus","LocationInformation":"Port_#0002.Hub_#0001",)"
    uR"("Manufacturer":"Compatible USB storage device","PhysicalDeviceObjectName":"\\Device\\USBPDO-6",)"
    uR"("RemovalPolicy":"RemovalPolicyExpectSurpriseRemoval","UINumber":0},"DriveLetters":"E","IsHub":false,)"
    uR"("PortNumberOfBus":2})";
inline constexpr char kKingstonChecksum[] = "6238BFA5EA55CCC09BE24075CCDE3A031B266BDB";

// A device text with the five texts in the places the guard reads them, and, as in every real
// device text, an exponent-form number ahead of the class.
inline std::u16string device_text(const std::u16string& manufacturer, const std::u16string& product,
                                  const std::u16string& serial, const std::u16string& class_name,
                                  const std::u16string& description) {
  return u"{\"DeviceDescriptor\":{\"Manufacturer\":\"" + manufacturer + u"\",\"Product\":\"" + product +
         u"\",\"SerialNumber\":\"" + serial + u"\",\"idVendor\":2385},\"DeviceProperty\":{\"BusTypeGuid\":{\"Data1\":"
         u"2.64228E+009,\"Data2\":51293},\"ClassName\":\"" + class_name + u"\",\"DeviceDescription\":\"" + description +
         u"\"},\"IsHub\":false}";
}

}  // namespace decision_test
