<?xml version="1.0" encoding="UTF-8"?>
<tileset version="1.8" tiledversion="1.8.2" name="enemies" tilewidth="16" tileheight="16" tilecount="4" columns="4">
 <properties>
  <property name="sprites" type="bool" value="true"/>
 </properties>
 <image source="enemies.png" width="64" height="16"/>
</tileset>
